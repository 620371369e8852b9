#include "setup/commit_boxes.h"

#include <algorithm>

#include "link/device_link.h"
#include "locate/locate.h"

namespace kstbell {

bool Confirm(TContext& ctx, const std::string& text) {
    return ctx.Host.MessageBox(text, "Confirm", TMsgButtons::YesNo, TMsgIcon::Question) ==
           TMsgResult::Yes;
}

void ShowResult(TContext& ctx, const std::string& text) {
    ctx.Host.MessageBox(text, "Information", TMsgButtons::Ok, TMsgIcon::Information);
}

void ShowInputError(TContext& ctx, const std::string& text) {
    ctx.Host.MessageBox(text, kErrorCaption, TMsgButtons::Ok, TMsgIcon::Error);
}

void ShowTransferError(TContext& ctx, const std::string& path, const TTransferResult& result) {
    ctx.Host.MessageBox("The device file " + path + " could not be changed:\n" + result.Error,
                        kErrorCaption, TMsgButtons::Ok, TMsgIcon::Error);
}

bool WriteFileStep(TContext& ctx, const std::string& path, std::string_view bytes) {
    std::copy(bytes.begin(), bytes.end(), ctx.ImageBuffer.data());
    const TTransferResult result =
        WriteDeviceFile(ctx, path, static_cast<std::int32_t>(bytes.size()));
    if (!result.Ok) ShowTransferError(ctx, path, result);
    return result.Ok;
}

bool DeleteFileStep(TContext& ctx, const std::string& path) {
    const TTransferResult result = DeleteDeviceFile(ctx, path);
    if (!result.Ok) ShowTransferError(ctx, path, result);
    return result.Ok;
}

std::optional<TTransferResult> SendLocated(TContext& ctx, std::uint8_t code, std::uint8_t length,
                                           TAnswer answer) {
    if (LocateDevice(ctx) != 1) return std::nullopt;
    if (LinkFree(ctx.Link)) {
        ctx.Link.PendingCode = code;
        ctx.Link.Request[4] = code;
        RunTransaction(ctx, length);
    }
    const TTransactionOutcome outcome = ctx.Link.LastOutcome;
    const bool done = outcome == TTransactionOutcome::Replied ||
                      (answer == TAnswer::NotAwaited && outcome == TTransactionOutcome::NoReply);
    if (done) return TTransferResult{};
    return TTransferResult{false, RequestFailure(ctx.Link)};
}

void FinishRequest(TContext& ctx, const std::optional<TTransferResult>& sent,
                   const std::string& what, const std::string& resultText) {
    if (!sent) return;
    if (!sent->Ok) {
        ctx.Host.MessageBox("The " + what + " failed:\n" + sent->Error, kErrorCaption,
                            TMsgButtons::Ok, TMsgIcon::Error);
        return;
    }
    ShowResult(ctx, resultText);
}

}  // namespace kstbell
