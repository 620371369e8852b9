#include "device/file_transfer.h"

#include <algorithm>
#include <string_view>

#include "device/session.h"
#include "protocol/byte_sum.h"

namespace kstbell {

namespace {

constexpr std::size_t kWriteHeaderLength = 60;
constexpr std::size_t kDeleteRequestLength = 40;
constexpr std::size_t kRepaintEvery = 65536;

TOutcome About(TOutcome o, const std::string& path, TPhase phase) {
    o.Path = path;
    o.Phase = phase;
    return o;
}

void TellProgress(TDeviceSession& s, const TTransferProgress& p) {
    s.Tell([&](IDeviceObserver& o) { o.OnTransfer(p); });
}

}  // namespace

TOutcome SendDataPhase(TDeviceSession& s, std::int32_t length, bool progressAtStart) {
    auto& link = s.Link;
    if (!LinkFree(link)) return {TOutcomeKind::Busy};
    // Called on its own, the data phase holds the horn itself; inside a transfer, it is held.
    TTransferHold transfer(s);
    if (!transfer.Held()) {
        TOutcome o = transfer.Outcome();
        o.Phase = TPhase::DataConnect;
        return o;
    }
    // Ticks and clicks that arrive while the socket waits find the link busy and send nothing.
    TLinkHold hold(s);
    s.Tcp.SetHost(link.DeviceIp, link.DevicePort);
    if (TNetResult c = s.Tcp.Connect(link.ConnectTimeoutMs); !c.Ok()) {
        TOutcome o{TOutcomeKind::Unreachable};
        o.Phase = TPhase::DataConnect;
        o.Message = c.Message;
        return o;
    }
    const auto total = static_cast<std::size_t>(length);
    // Pieces go out straight from the image buffer, which nothing else writes meanwhile; the
    // request area stays free for whatever a nested handler puts there.
    for (std::size_t offset = 0; offset < total; offset += kPieceSize) {
        const std::size_t piece = std::min(kPieceSize, total - offset);
        if (TNetResult w = s.Tcp.Write({s.ImageBuffer.data() + offset, piece}); !w.Ok()) {
            TOutcome o{TOutcomeKind::SocketError};
            o.Phase = TPhase::Data;
            o.Message = w.Message;
            o.Done = offset;
            o.Total = total;
            return o;
        }
        TTransferProgress p;
        p.Position = static_cast<std::int64_t>(progressAtStart ? offset : offset + piece);
        p.Milestone = offset % kRepaintEvery == 0;
        TellProgress(s, p);
    }
    return {};
}

TOutcome WriteDeviceFile(TDeviceSession& s, const std::string& path, std::int32_t length) {
    if (path.size() > kMaxWritePath)
        return About(Invalid(TInvalid::PathTooLong), path, TPhase::Header);
    if (length < 0 || static_cast<std::size_t>(length) > TImageBuffer::size()) {
        TOutcome o = Invalid(TInvalid::ContentLength);
        o.Total = static_cast<std::uint64_t>(std::max(length, 0));
        return About(o, path, TPhase::Header);
    }
    if (!LinkFree(s.Link)) return About({TOutcomeKind::Busy}, path, TPhase::Header);
    // From the header to the last byte no other program on this PC may talk to the horn: it
    // would take that program's connection as the file's data.
    TTransferHold transfer(s);
    if (!transfer.Held()) return About(transfer.Outcome(), path, TPhase::Header);
    auto& request = s.Link.Request;
    const std::uint64_t sum = ByteSum({s.ImageBuffer.data(), static_cast<std::size_t>(length)});
    std::fill_n(request.Bytes.begin(), kWriteHeaderLength, std::uint8_t{0});
    PutU32(request, 5, static_cast<std::uint32_t>(length));
    PutU32(request, 9, static_cast<std::uint32_t>(sum));
    Note(s, TNoteKind::SendingFile, 0, path);
    PutPath(request, path);
    s.Link.PendingCode = 0;
    request[4] = CMD_FILE_HEADER;
    RunTransaction(s, kWriteHeaderLength);
    // A device that refused the header takes no data for it.
    if (s.Link.LastOutcome == TTransactionOutcome::Refused)
        return About(LinkOutcome(s, CMD_FILE_HEADER), path, TPhase::Header);
    // Otherwise the data phase follows even when the header got no answer or could not be
    // sent, as the device may still expect it; such a failure is still reported.
    TOutcome header;
    if (!RequestWentOut(s.Link)) header = LinkOutcome(s, CMD_FILE_HEADER);

    TTransferProgress start;
    start.Start = true;
    start.Max = length < static_cast<std::int32_t>(kPieceSize)
                    ? length
                    : length - static_cast<std::int32_t>(kPieceSize);
    TellProgress(s, start);
    Note(s, TNoteKind::TransferLength, static_cast<std::uint64_t>(length));
    s.Pause.Sleep(kDataPhasePauseMs);
    TOutcome data = SendDataPhase(s, length, false);
    return header.Ok() ? About(data, path, data.Phase) : About(header, path, TPhase::Header);
}

TOutcome WriteDeviceFileBytes(TDeviceSession& s, const std::string& path, std::string_view bytes) {
    if (bytes.size() > TImageBuffer::size()) {
        TOutcome o = Invalid(TInvalid::ContentLength);
        o.Total = bytes.size();
        return About(o, path, TPhase::Header);
    }
    // The buffer belongs to a running transfer as long as the link is busy.
    if (!LinkFree(s.Link)) return About({TOutcomeKind::Busy}, path, TPhase::Header);
    std::copy(bytes.begin(), bytes.end(), s.ImageBuffer.data());
    return WriteDeviceFile(s, path, static_cast<std::int32_t>(bytes.size()));
}

TOutcome DeleteDeviceFile(TDeviceSession& s, const std::string& path) {
    if (path.size() > kMaxDeletePath)
        return About(Invalid(TInvalid::PathTooLong), path, TPhase::Request);
    if (!LinkFree(s.Link)) return About({TOutcomeKind::Busy}, path, TPhase::Request);
    Note(s, TNoteKind::DeletingFile, 0, path);
    PutPath(s.Link.Request, path);
    s.Link.PendingCode = CMD_KILL_FILE;
    s.Link.Request[4] = CMD_KILL_FILE;
    RunTransaction(s, kDeleteRequestLength);
    return About(LinkOutcome(s, CMD_KILL_FILE), path, TPhase::Request);
}

}  // namespace kstbell
