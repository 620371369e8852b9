#pragma once

// The message boxes and the file steps every commit shares.

#include <cstdint>
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

}  // namespace kstbell
