#include "platform/file_fault.h"

#include <array>

namespace vx::platform {
namespace {

struct Fault {
  SysError error = kOk;
  int skip = 0;
  int times = 0;  // 0: unlimited
};

std::array<Fault, static_cast<std::size_t>(FileOp::kCount)> g_faults;
FileOpHook g_hook = nullptr;

}  // namespace

void InjectFileFault(FileOp op, SysError error, int skip, int times) {
  g_faults[static_cast<std::size_t>(op)] = Fault{error, skip, times};
}

void ClearFileFaults() { g_faults.fill(Fault{}); }

void SetFileOpHook(FileOpHook hook) { g_hook = hook; }

SysError TakeFileFault(FileOp op) {
  if (g_hook) g_hook(op);
  Fault& f = g_faults[static_cast<std::size_t>(op)];
  if (f.error == kOk) return kOk;
  if (f.skip > 0) {
    --f.skip;
    return kOk;
  }
  const SysError error = f.error;
  if (f.times > 0 && --f.times == 0) f = Fault{};
  return error;
}

}  // namespace vx::platform
