#pragma once

// The program's exit codes.

namespace kstbell::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // any other or mixed failure; config diff: it differs
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreachable = 3;    // every failure was unreachable
inline constexpr int kExitRefused = 4;        // every failure was refused
inline constexpr int kExitVerifyFailed = 5;   // every failure was verify_failed
inline constexpr int kExitInterrupted = 130;  // interrupted (SIGINT, SIGTERM, Ctrl-C)

}  // namespace kstbell::cli
