#pragma once
// sntool's exit codes. Scripts rely on them: keep them stable.

namespace sn::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitOther = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoCradle = 3;
inline constexpr int kExitNoPager = 4;
inline constexpr int kExitNumbered = 5;
inline constexpr int kExitModelRefused = 6;
inline constexpr int kExitReadError = 7;
inline constexpr int kExitWriteError = 8;
inline constexpr int kExitVerifyMismatch = 9;
inline constexpr int kExitDuplicate = 10;  // the ledger has the number as used or in doubt
// The ledger cannot record (or cannot be read): nothing was sent.
inline constexpr int kExitLedger = 11;
inline constexpr int kExitInterrupted = 130;  // a batch ended by Ctrl+C

}  // namespace sn::cli
