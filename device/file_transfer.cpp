#include "device/file_transfer.h"

#include <algorithm>
#include <numeric>

#include "link/device_link.h"
#include "link/text.h"

namespace kstbell {

namespace {

constexpr std::size_t kWriteHeaderLength = 60;
constexpr std::size_t kDeleteRequestLength = 40;
constexpr std::size_t kRepaintEvery = 65536;

TTransferResult Failed(std::string why) {
    return {false, std::move(why)};
}

}  // namespace

std::string RequestFailure(const TDeviceLink& link) {
    switch (link.LastOutcome) {
        case TTransactionOutcome::Dropped:
            return "another request was using the link";
        case TTransactionOutcome::ConnectFailed:
            return "the device could not be reached (Connect Timeout)";
        case TTransactionOutcome::NoReply:
            return "the device did not answer";
        case TTransactionOutcome::Refused:
            return "the device refused it (status 0x" + Hex2(link.ReplyStatus) + ")";
        default:
            return link.LastError;
    }
}

std::uint64_t ByteSum(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0});
}

TTransferResult SendDataPhase(TContext& ctx, std::int32_t length, bool progressAtStart) {
    auto& link = ctx.Link;
    if (link.LinkBusy) return Failed("another request was using the link");
    // Ticks and clicks that arrive while the socket waits find the link busy and send nothing.
    TLinkHold hold(ctx);
    ctx.Tcp.SetHost(link.DeviceIp, link.DevicePort);
    if (TNetResult c = ctx.Tcp.Connect(kConnectTimeoutMs); !c.Ok())
        return Failed("the data connection could not be made: " + c.Message);
    auto& gauge = ctx.Form2.CGauge1;
    const auto total = static_cast<std::size_t>(length);
    // Pieces go out straight from the image buffer, which nothing else writes meanwhile; the
    // request area stays free for whatever a nested handler puts there.
    for (std::size_t offset = 0; offset < total; offset += kPieceSize) {
        const std::size_t piece = std::min(kPieceSize, total - offset);
        if (TNetResult w = ctx.Tcp.Write({ctx.ImageBuffer.data() + offset, piece}); !w.Ok()) {
            return Failed("the data connection broke off after " + std::to_string(offset) + " of " +
                          std::to_string(total) + " bytes: " + w.Message);
        }
        gauge.Progress = static_cast<int>(progressAtStart ? offset : offset + piece);
        if (offset % kRepaintEvery == 0) ctx.Host.Repaint();
    }
    return {};
}

TTransferResult WriteDeviceFile(TContext& ctx, const std::string& path, std::int32_t length) {
    if (path.size() > kMaxWritePath)
        return Failed("the path is longer than " + std::to_string(kMaxWritePath) +
                      " characters; nothing was sent");
    if (length < 0 || static_cast<std::size_t>(length) > TImageBuffer::size())
        return Failed("the content length " + std::to_string(length) + " is out of range");
    if (!LinkFree(ctx.Link)) return Failed(RequestFailure(ctx.Link));
    auto& request = ctx.Link.Request;
    const std::uint64_t sum = ByteSum({ctx.ImageBuffer.data(), static_cast<std::size_t>(length)});
    std::fill_n(request.Bytes.begin(), kWriteHeaderLength, std::uint8_t{0});
    PutU32(request, 5, static_cast<std::uint32_t>(length));
    PutU32(request, 9, static_cast<std::uint32_t>(sum));
    ShowStatus(ctx, "Send FileName: " + path);
    PutPath(request, path);
    ctx.Link.PendingCode = 0;
    request[4] = CMD_FILE_HEADER;
    RunTransaction(ctx, kWriteHeaderLength);
    // A device that refused the header takes no data for it.
    if (ctx.Link.LastOutcome == TTransactionOutcome::Refused)
        return Failed(RequestFailure(ctx.Link));
    // Otherwise the data phase follows even when the header got no answer or could not be
    // sent, as the device may still expect it; such a failure is still reported.
    TTransferResult header;
    if (!RequestWentOut(ctx.Link))
        header = Failed("the header could not be sent: " + RequestFailure(ctx.Link));

    auto& gauge = ctx.Form2.CGauge1;
    gauge.Progress = 0;
    gauge.MaxValue = length < static_cast<std::int32_t>(kPieceSize)
                         ? length
                         : length - static_cast<std::int32_t>(kPieceSize);
    gauge.ForeColor = clRed;
    ShowStatus(ctx, "Transfer Length => " + std::to_string(length));
    ctx.Host.Sleep(kDataPhasePauseMs);
    TTransferResult data = SendDataPhase(ctx, length, false);
    return header.Ok ? data : header;
}

TTransferResult DeleteDeviceFile(TContext& ctx, const std::string& path) {
    if (path.size() > kMaxDeletePath)
        return Failed("the path is longer than " + std::to_string(kMaxDeletePath) +
                      " characters; nothing was sent");
    if (!LinkFree(ctx.Link)) return Failed(RequestFailure(ctx.Link));
    ShowStatus(ctx, "Del File: " + path);
    PutPath(ctx.Link.Request, path);
    ctx.Link.PendingCode = CMD_KILL_FILE;
    ctx.Link.Request[4] = CMD_KILL_FILE;
    RunTransaction(ctx, kDeleteRequestLength);
    // Only the device's acceptance tells that the file is gone.
    if (ctx.Link.LastOutcome != TTransactionOutcome::Replied)
        return Failed(RequestFailure(ctx.Link));
    return {};
}

}  // namespace kstbell
