#pragma once

// The message boxes and the file steps every commit shares.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/file_transfer.h"

namespace kstbell {

struct TContext;

inline constexpr const char* kErrorCaption = "Error found!";

// The confirmation box; true only for Yes.
bool Confirm(TContext& ctx, const std::string& text);
void ShowResult(TContext& ctx, const std::string& text);
void ShowInputError(TContext& ctx, const std::string& text);
// Tells which file operation failed and why.
void ShowTransferError(TContext& ctx, const std::string& path, const TTransferResult& result);

// Puts bytes into the image buffer and writes them as the file path. False, with the error
// box shown, when the write did not go out whole.
bool WriteFileStep(TContext& ctx, const std::string& path, std::string_view bytes);
bool DeleteFileStep(TContext& ctx, const std::string& path);

// Whether a command's effect is confirmed by the device's answer, or the device restarts at
// once and may not answer at all.
enum class TAnswer { Awaited, NotAwaited };

// Locates the device and sends the command whose parameters the caller has put in the request
// area. Nothing when the device was not found (the main window says why); else whether the
// command took effect: the device accepted it, or it was not expected to answer and did not.
std::optional<TTransferResult> SendLocated(TContext& ctx, std::uint8_t code, std::uint8_t length,
                                           TAnswer answer = TAnswer::Awaited);
// Ends a command: the result box when it took effect, an error box naming the command and
// why it failed when it did not, nothing when the device was not found.
void FinishRequest(TContext& ctx, const std::optional<TTransferResult>& sent,
                   const std::string& what, const std::string& resultText);

}  // namespace kstbell
