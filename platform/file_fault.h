// A seam for tests: makes chosen file operations fail with a chosen error,
// so the callers' failure paths can be exercised on any file system and as
// any user. Inactive unless a test arms it. Safe from any thread: file
// operations on worker threads take the armed faults in the order they run.
#pragma once

#include "platform/file.h"

namespace vx::platform {

enum class FileOp {
  kOpenRead,    // File::OpenReadExclusive
  kCreate,      // File::CreateExclusive
  kCreateTemp,  // File::CreateTempBeside
  kRead,        // File::Read
  kWrite,       // File::Write
  kFlush,       // File::Flush
  kClose,       // File::Close
  kReplace,     // ReplaceFile
  kMove,        // MoveFile
  kDelete,      // DeleteFile
  kLink,        // LinkFile
  kCount
};

// The next calls of `op` succeed `skip` times, then every later call fails
// with `error` until ClearFileFaults (or until `times` failures, if > 0).
void InjectFileFault(FileOp op, SysError error, int skip = 0, int times = 0);
void ClearFileFaults();

// Called with every file operation above before it runs (nullptr: none), on
// the thread that runs it. A test can end the process there, as a crash at
// that very moment would.
using FileOpHook = void (*)(FileOp op);
void SetFileOpHook(FileOpHook hook);

// Used by the implementations: the injected error for this call, or kOk.
SysError TakeFileFault(FileOp op);

}  // namespace vx::platform
