#pragma once

// The TOML configuration file. Every key is optional; unknown keys are errors, so that a typo
// does not pass silently. Paths in it are taken relative to the file's folder.
//
//   [broker]   url, client_id, username, password_file, ca_file, cert_file, key_file,
//              keepalive_s
//   [topics]   base, discovery_prefix
//   [poll]     period_ms, parallel, connect_timeout_ms, reply_wait_ms, info_every
//   [devices]  port, addresses = ["A.B.C.D", "A.B.C.0/24"],
//              [[devices.horn]] address = "A.B.C.D" (or a range), name = "Hall" (one address
//              only), input_device_class = "door"

#include <toml++/toml.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "config/error.h"
#include "mqtt/config.h"

namespace kstbell::mqtt {

// What a program that keeps these keys inside a larger file of its own adds to them.
struct TConfigHooks {
    // Top-level tables that the program reads itself: left alone here.
    std::vector<std::string> OtherSections;
    // A key of a [[devices.horn]] table that is none of the bridge's. entry is the index the
    // table's entry gets in TBridgeConfig::Devices. False when the program does not know the key
    // either (it is then refused as unknown); otherwise the program reads it and notes its own
    // mistakes.
    std::function<bool(std::size_t entry, const std::string& key, const toml::node& value)> HornKey;
};

// Reads the keys of a parsed file over the values already in config. Every mistake is added to
// errors in the order found, with its line and full key; false when there was one. The keys
// that are right are read into config also then, so that a caller can go on checking what
// depends on them (the horns) without reporting mistakes that follow from another.
bool ReadConfigTable(const toml::table& root, const std::string& path, TBridgeConfig& config,
                     std::vector<config::TError>& errors, const TConfigHooks& hooks = {});

// Reads the file over the values already in config. False with every mistake, one per line,
// each "FILE:LINE: key 'K': what is wrong" (or the parser's own message with its line);
// config is then unchanged.
bool LoadConfigFile(const std::string& path, TBridgeConfig& config, std::string& error);

// Checks what no single key can (a client certificate needs its key, TLS options need mqtts://)
// and what the options may have set (the broker URL, the base topic).
bool CheckConfig(const TBridgeConfig& config, std::string& error);

// The password: the file's first line without its line end. False, naming the file, when it
// cannot be read or is empty.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

}  // namespace kstbell::mqtt
