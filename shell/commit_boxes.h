#pragma once

// The message boxes every commit and action of the setup window shares, and the words for
// what an operation did.

#include <string>

#include "device/outcome.h"

namespace kstbell {

struct TContext;

inline constexpr const char* kErrorCaption = "Error found!";

// The confirmation box; true only for Yes.
bool Confirm(TContext& ctx, const std::string& text);
void ShowResult(TContext& ctx, const std::string& text);
void ShowInputError(TContext& ctx, const std::string& text);

// Why an operation failed, in the operator's words.
std::string FailureReason(const TOutcome& o);

// Ends a setting or action: the result box when it was done, an error box naming the file or
// command and why it failed when it was not, nothing when the device was not found (the main
// window says why).
void FinishSetting(TContext& ctx, const TOutcome& o, const std::string& resultText);

}  // namespace kstbell
