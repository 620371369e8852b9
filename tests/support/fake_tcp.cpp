#include "fake_tcp.h"

#include <algorithm>
#include <utility>

namespace kstbell::test {

TNetResult TFakeTcpClient::Connect(int) {
    ++Connects;
    waits_ = 0;
    delivered_ = false;
    if (OnConnect) OnConnect();
    connected_ = ConnectResult.Ok();
    return ConnectResult;
}

TNetResult TFakeTcpClient::Write(std::span<const std::uint8_t> bytes) {
    Writes.emplace_back(bytes.begin(), bytes.end());
    return WriteResult;
}

TNetResult TFakeTcpClient::WaitForInput(int timeoutMs) {
    ++Waits;
    WaitTimeouts.push_back(timeoutMs);
    ++waits_;
    if (OnWait) std::exchange(OnWait, nullptr)();
    return HasBufferedInput() ? TNetResult{} : TNetResult{TNetStatus::TimedOut, {}};
}

TNetResult TFakeTcpClient::ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) {
    count = 0;
    if (!delivered_) {
        count = std::min(into.size(), Reply.size());
        std::copy_n(Reply.begin(), count, into.begin());
        delivered_ = true;
    }
    if (!ReadResult.Ok()) return ReadResult;
    return {TNetStatus::Closed, {}};  // the device closes after its reply
}

}  // namespace kstbell::test
