#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kstbell {

inline constexpr std::array<std::uint8_t, 4> FrameMagic{0x5A, 0x35, 0x77, 0xA5};
inline constexpr std::uint8_t STATUS_ACK = 6;

inline constexpr std::size_t kRequestFrameSize = 1024;
inline constexpr std::size_t kReplyFrameSize = 4096;
// Bytes of the reply area cleared before every transaction.
inline constexpr std::size_t kReplyClearSize = 250;
// Offset of the path length byte in file requests; the path follows it.
inline constexpr std::size_t kPathLengthOffset = 16;

// The request area: magic, command code at 4, parameters from 5. It doubles as the piece
// buffer of file and firmware data, which is why it is 1024 bytes long.
struct TRequestFrame {
    std::array<std::uint8_t, kRequestFrameSize> Bytes{};
    std::uint8_t& operator[](std::size_t i) { return Bytes[i]; }
    std::uint8_t operator[](std::size_t i) const { return Bytes[i]; }
};

// The reply area: magic, echoed code at 4, status at 5, payload from 6.
struct TReplyFrame {
    std::array<std::uint8_t, kReplyFrameSize> Bytes{};
    std::uint8_t& operator[](std::size_t i) { return Bytes[i]; }
    std::uint8_t operator[](std::size_t i) const { return Bytes[i]; }
    bool HasMagic() const {
        return Bytes[0] == FrameMagic[0] && Bytes[1] == FrameMagic[1] &&
               Bytes[2] == FrameMagic[2] && Bytes[3] == FrameMagic[3];
    }
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(Bytes[at] << 8 | Bytes[at + 1]);
    }
    std::uint32_t U32(std::size_t at) const {
        return std::uint32_t{Bytes[at]} << 24 | std::uint32_t{Bytes[at + 1]} << 16 |
               std::uint32_t{Bytes[at + 2]} << 8 | std::uint32_t{Bytes[at + 3]};
    }
};

inline void PutU32(TRequestFrame& f, std::size_t at, std::uint32_t v) {
    f[at] = static_cast<std::uint8_t>(v >> 24);
    f[at + 1] = static_cast<std::uint8_t>(v >> 16);
    f[at + 2] = static_cast<std::uint8_t>(v >> 8);
    f[at + 3] = static_cast<std::uint8_t>(v);
}

// Writes the path length at byte 16 and the path bytes from 17 onward.
inline void PutPath(TRequestFrame& f, std::string_view path) {
    f[kPathLengthOffset] = static_cast<std::uint8_t>(path.size());
    for (std::size_t i = 0; i < path.size(); ++i)
        f[kPathLengthOffset + 1 + i] = static_cast<std::uint8_t>(path[i]);
}

}  // namespace kstbell
