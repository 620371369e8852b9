#pragma once

// Reply frames of the device: magic, echoed code, status, then the payload of each command.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "sim/firmware_image.h"
#include "sim/running_config.h"

namespace kstbell::sim {

inline constexpr std::size_t kInfoReplyLength = 256;
inline constexpr std::size_t kStatusReplyLength = 13;
inline constexpr std::array<std::uint8_t, 6> kSimMac = {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01};
inline constexpr std::uint16_t kSimRssiRaw = 0xFFCE;  // -50 dBm as 16-bit two's complement
inline constexpr std::uint8_t kDeviceMode = 1;

// What the device reports about itself besides its running configuration.
struct TLiveState {
    std::uint8_t Model = 0;
    std::array<std::uint8_t, 4> Address{};  // first part first, as in dotted text
    std::array<std::uint8_t, 6> Mac = kSimMac;
    std::uint8_t Relay = 0;
    std::uint8_t Input = 0;
    std::uint8_t Armed = 0;
    TFirmwareVersion Firmware = kBuiltInFirmware;  // the version it booted
};

// Magic, code and status; the six bytes every reply starts with.
std::vector<std::uint8_t> StatusReply(std::uint8_t code, std::uint8_t status);

std::vector<std::uint8_t> DeviceInfoReply(const TLiveState& live, const TRunningConfig& config);
std::vector<std::uint8_t> StatusPollReply(const TLiveState& live);
std::vector<std::uint8_t> SetOutputReply(const TLiveState& live);
std::vector<std::uint8_t> ImageChecksumReply(std::uint32_t sum);

// Sum of all bytes as unsigned values, in 64 bits.
std::uint64_t ByteSum(std::span<const std::uint8_t> bytes);

}  // namespace kstbell::sim
