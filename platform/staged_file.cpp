#include "platform/staged_file.h"

namespace vx::platform {

StagedFile::~StagedFile() {
  file_.Close();
  if (!temp_.empty()) DeleteFile(temp_);
}

SysError StagedFile::Create() {
  SysError error = kOk;
  file_ = File::CreateTempBeside(target_, &temp_, &error);
  return error;
}

SysError StagedFile::Finish(bool durable) {
  const SysError flushed = file_.Flush(durable);
  const SysError closed = file_.Close();
  return flushed != kOk ? flushed : closed;
}

SysError StagedFile::Commit() {
  const SysError error = ReplaceContent(temp_, target_);
  if (error == kOk) Release();
  return error;
}

}  // namespace vx::platform
