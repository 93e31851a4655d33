#include "platform/file_fault.h"

#include <array>
#include <atomic>
#include <mutex>

namespace vx::platform {
namespace {

struct Fault {
  SysError error = kOk;
  int skip = 0;
  int times = 0;  // 0: unlimited
};

std::mutex g_lock;
std::array<Fault, static_cast<std::size_t>(FileOp::kCount)> g_faults;
// Whether any fault is armed: the common case costs one atomic load.
std::atomic<bool> g_armed{false};
std::atomic<FileOpHook> g_hook{nullptr};

}  // namespace

void InjectFileFault(FileOp op, SysError error, int skip, int times) {
  const std::lock_guard<std::mutex> hold(g_lock);
  g_faults[static_cast<std::size_t>(op)] = Fault{error, skip, times};
  g_armed = true;
}

void ClearFileFaults() {
  const std::lock_guard<std::mutex> hold(g_lock);
  g_faults.fill(Fault{});
  g_armed = false;
}

void SetFileOpHook(FileOpHook hook) { g_hook = hook; }

SysError TakeFileFault(FileOp op) {
  if (const FileOpHook hook = g_hook.load()) hook(op);
  if (!g_armed.load()) return kOk;
  const std::lock_guard<std::mutex> hold(g_lock);
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
