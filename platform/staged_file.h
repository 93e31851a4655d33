// Write beside, then take the name: a file's new content is written into a
// temporary file in the same folder and takes the file's name only once it
// is complete, in one rename, so the file holds its old or its new content
// at every moment, even if the process dies.
//
// Use:
//   StagedFile staged(path);
//   if (SysError e = staged.Create()) ...;      // the temporary file beside path
//   staged.file().Write(...);
//   if (SysError e = staged.Finish(durable)) ...;  // flushed and closed
//   if (SysError e = staged.Commit()) ...;         // takes path's name
// A StagedFile that was not committed (or released) removes its temporary
// file when it goes.
#pragma once

#include <string>

#include "platform/file.h"

namespace vx::platform {

class StagedFile {
 public:
  explicit StagedFile(std::string target) : target_(std::move(target)) {}
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Creates the temporary file (File::CreateTempBeside), open for writing.
  SysError Create();
  bool IsOpen() const { return file_.IsOpen(); }
  File& file() { return file_; }
  const std::string& target() const { return target_; }
  const std::string& temp_path() const { return temp_; }

  // Pushes the content out (to the disk when durable) and closes the file:
  // the content is complete.
  SysError Finish(bool durable);
  // The complete content takes the target's name, and the target keeps who
  // it is (ReplaceContent).
  SysError Commit();
  // The temporary file has taken a name of the caller's choosing: it is no
  // longer removed.
  void Release() { temp_.clear(); }

 private:
  std::string target_;
  std::string temp_;
  File file_;
};

}  // namespace vx::platform
