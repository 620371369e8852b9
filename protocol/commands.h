#pragma once

#include <cstdint>

namespace kstbell {

// Command codes: request byte 4, echoed in reply byte 4.
inline constexpr std::uint8_t CMD_SET_LOCATOR = 29;
inline constexpr std::uint8_t CMD_GET_DEVICE_INFO = 33;
inline constexpr std::uint8_t CMD_GET_IMAGE_CHECKSUM = 37;
inline constexpr std::uint8_t CMD_IMAGE_CHECKSUM_NOTIFY = 38;
inline constexpr std::uint8_t CMD_M4_RESET = 45;
inline constexpr std::uint8_t CMD_SET_WIFI_MODE = 48;
inline constexpr std::uint8_t CMD_SET_WEB_LOGIN_KEY = 50;
inline constexpr std::uint8_t CMD_IMAGE_HEADER_PLAIN = 90;
inline constexpr std::uint8_t CMD_KILL_FILE = 93;
inline constexpr std::uint8_t CMD_KILL_CONFIG = 94;
inline constexpr std::uint8_t CMD_FILE_HEADER = 95;
inline constexpr std::uint8_t CMD_SET_DO = 208;
inline constexpr std::uint8_t CMD_GET_STATUS = 216;
inline constexpr std::uint8_t CMD_MODBUS_UPDATED = 220;

// The model code of the supported horn.
inline constexpr std::uint8_t kSupportedModelCode = 186;

}  // namespace kstbell
