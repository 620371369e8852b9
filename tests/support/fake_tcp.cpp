#include "fake_tcp.h"

#include <algorithm>

namespace kstbell::test {

TNetResult TFakeTcpClient::Connect(int) {
    ++Connects;
    waits_ = 0;
    if (OnConnect) OnConnect();
    connected_ = ConnectResult.Ok();
    return ConnectResult;
}

TNetResult TFakeTcpClient::Write(std::span<const std::uint8_t> bytes) {
    Writes.emplace_back(bytes.begin(), bytes.end());
    return WriteResult;
}

TNetResult TFakeTcpClient::WaitForInput(int) {
    ++Waits;
    ++waits_;
    return HasBufferedInput() ? TNetResult{} : TNetResult{TNetStatus::TimedOut, {}};
}

TNetResult TFakeTcpClient::ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) {
    count = std::min(into.size(), Reply.size());
    std::copy_n(Reply.begin(), count, into.begin());
    return ReadResult;
}

}  // namespace kstbell::test
