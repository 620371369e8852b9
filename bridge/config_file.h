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

#include <string>

#include "bridge/config.h"

namespace kstbell::bridge {

// Reads the file over the values already in config. False with "FILE:LINE: key 'K': what is
// wrong" (or the parser's own message with its line) otherwise; config is then unchanged.
bool LoadConfigFile(const std::string& path, TBridgeConfig& config, std::string& error);

// Checks what no single key can (a client certificate needs its key, TLS options need mqtts://)
// and what the options may have set (the broker URL, the base topic).
bool CheckConfig(const TBridgeConfig& config, std::string& error);

// The password: the file's first line without its line end. False, naming the file, when it
// cannot be read or is empty.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

}  // namespace kstbell::bridge
