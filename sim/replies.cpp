#include "sim/replies.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <string>

#include "sim/request_parser.h"

namespace kstbell::sim {

namespace {

void PutText(std::vector<std::uint8_t>& frame, std::size_t offset, const std::string& text) {
    const std::size_t length = std::min(text.size(), kMaxText);
    std::copy_n(text.begin(), length, frame.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutBe16(std::vector<std::uint8_t>& frame, std::size_t offset, std::uint16_t value) {
    frame[offset] = static_cast<std::uint8_t>(value >> 8);
    frame[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::vector<std::uint8_t> WithPayload(std::uint8_t code, std::size_t length) {
    std::vector<std::uint8_t> frame(std::max<std::size_t>(length, 6), 0);
    std::copy(std::begin(kFrameMagic), std::end(kFrameMagic), frame.begin());
    frame[4] = code;
    frame[5] = kStatusAck;
    return frame;
}

}  // namespace

std::vector<std::uint8_t> StatusReply(std::uint8_t code, std::uint8_t status) {
    return {kFrameMagic[0], kFrameMagic[1], kFrameMagic[2], kFrameMagic[3], code, status};
}

std::vector<std::uint8_t> DeviceInfoReply(const TLiveState& live, const TRunningConfig& config) {
    auto frame = WithPayload(CodeGetDeviceInfo, kInfoReplyLength);
    frame[6] = live.Model;
    // The device sends its own address last part first.
    for (std::size_t i = 0; i < 4; ++i)
        frame[7 + i] = live.Address[3 - i];
    std::copy(live.Mac.begin(), live.Mac.end(), frame.begin() + 11);
    frame[17] = 1;  // SD card present
    frame[18] = 7;  // capacity 7.45 GB
    frame[19] = 45;
    frame[20] = 3;  // free 3.05 GB
    frame[21] = 5;
    frame[24] = live.Firmware.Major;
    frame[25] = live.Firmware.Minor;
    PutBe16(frame, 36, config.ModbusIdleTimeout);
    PutText(frame, 40, config.Location);
    PutText(frame, 80, config.ApSsid);
    frame[112] = config.ApKeyType;
    PutText(frame, 128, config.StaSsid);
    frame[160] = config.StaKeyType;
    frame[176] = config.WifiMode;
    frame[177] = live.Relay;
    frame[178] = live.Input;
    PutBe16(frame, 179, config.ModbusPort);
    frame[181] = config.StaticIp ? 1 : 0;
    if (config.StaticIp) {
        std::copy(config.StaticAddressing.begin(), config.StaticAddressing.end(),
                  frame.begin() + 182);
    }
    PutBe16(frame, 194, kSimRssiRaw);
    frame[196] = kDeviceMode;
    frame[198] = live.Armed;
    return frame;
}

std::vector<std::uint8_t> StatusPollReply(const TLiveState& live) {
    auto frame = WithPayload(CodeGetStatus, kStatusReplyLength);
    frame[6] = live.Relay;
    frame[7] = live.Input;
    PutBe16(frame, 8, kSimRssiRaw);
    frame[12] = live.Armed;
    return frame;
}

std::vector<std::uint8_t> SetOutputReply(const TLiveState& live) {
    auto frame = WithPayload(CodeSetOutput, 8);
    frame[6] = live.Relay;
    frame[7] = live.Input;
    return frame;
}

std::vector<std::uint8_t> ImageChecksumReply(std::uint32_t sum) {
    auto frame = WithPayload(CodeGetImageChecksum, 10);
    for (std::size_t i = 0; i < 4; ++i) {
        frame[6 + i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
    }
    return frame;
}

std::uint64_t ByteSum(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0});
}

}  // namespace kstbell::sim
