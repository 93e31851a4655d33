// A rewrite's outcome as one number, the way the test tables write it: the
// count for a file rewritten, or a negative code for a file left alone; and
// the options the tables ask for.
#pragma once

#include <cstdint>

#include "engine/rewrite.h"

namespace vx {

inline constexpr std::int64_t kRewriteOpenFailed = -1;
inline constexpr std::int64_t kRewriteNoMemory = -2;
inline constexpr std::int64_t kRewriteNotText = -3;
inline constexpr std::int64_t kRewriteWriteFailed = -4;
inline constexpr std::int64_t kRewriteBackupFailed = -5;
inline constexpr std::int64_t kRewriteCancelled = -6;
inline constexpr std::int64_t kRewriteUnrepresentable = -7;
inline constexpr std::int64_t kRewriteTooComplex = -8;
inline constexpr std::int64_t kRewriteChangedSincePreview = -9;
inline constexpr std::int64_t kRewriteChangedSinceRun = -10;
inline constexpr std::int64_t kRewriteRestored = -11;

// The options of a rewrite that keeps a backup (or not).
inline RewriteOptions WithBackup(bool backup = true) {
  RewriteOptions options;
  options.make_backup = backup;
  return options;
}

inline std::int64_t Code(const RewriteOutcome& outcome) {
  switch (outcome.status) {
    case RewriteStatus::kDone: return outcome.count;
    case RewriteStatus::kOpenFailed: return kRewriteOpenFailed;
    case RewriteStatus::kNoMemory: return kRewriteNoMemory;
    case RewriteStatus::kNotText: return kRewriteNotText;
    case RewriteStatus::kWriteFailed: return kRewriteWriteFailed;
    case RewriteStatus::kBackupFailed: return kRewriteBackupFailed;
    case RewriteStatus::kCancelled: return kRewriteCancelled;
    case RewriteStatus::kUnrepresentable: return kRewriteUnrepresentable;
    case RewriteStatus::kTooComplex: return kRewriteTooComplex;
    case RewriteStatus::kChangedSincePreview: return kRewriteChangedSincePreview;
    case RewriteStatus::kChangedSinceRun: return kRewriteChangedSinceRun;
    case RewriteStatus::kRestored: return kRewriteRestored;
    default: return -100;  // decided by the batch, never by the rewrite
  }
}

// The outcome a code stands for (a scripted rewrite pass's answer).
inline RewriteOutcome FromCode(std::int64_t code) {
  RewriteOutcome outcome;
  switch (code) {
    case kRewriteOpenFailed: outcome.status = RewriteStatus::kOpenFailed; break;
    case kRewriteNoMemory: outcome.status = RewriteStatus::kNoMemory; break;
    case kRewriteNotText: outcome.status = RewriteStatus::kNotText; break;
    case kRewriteWriteFailed: outcome.status = RewriteStatus::kWriteFailed; break;
    case kRewriteBackupFailed: outcome.status = RewriteStatus::kBackupFailed; break;
    case kRewriteCancelled: outcome.status = RewriteStatus::kCancelled; break;
    case kRewriteUnrepresentable: outcome.status = RewriteStatus::kUnrepresentable; break;
    case kRewriteTooComplex: outcome.status = RewriteStatus::kTooComplex; break;
    case kRewriteChangedSincePreview: outcome.status = RewriteStatus::kChangedSincePreview; break;
    case kRewriteChangedSinceRun: outcome.status = RewriteStatus::kChangedSinceRun; break;
    case kRewriteRestored: outcome.status = RewriteStatus::kRestored; break;
    default: outcome.count = code;
  }
  return outcome;
}

}  // namespace vx
