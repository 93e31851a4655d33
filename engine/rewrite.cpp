// The rewrite pass, streamed. The file is read once, in fixed-size chunks,
// through the replacement chain, whose last stage feeds a buffered writer
// into a temporary file beside the target; that file takes the target's name
// only once it is complete. The results are those of reading and rewriting
// the whole file once per alternative, at the cost of one read and one write.
#include "engine/rewrite.h"

#include <cstring>
#include <new>
#include <string>

#include "engine/replace_chain.h"
#include "platform/file.h"

namespace vx {
namespace {

using platform::File;
using platform::kOk;
using platform::SysError;

// The size of the reads, and of the pieces the chain's stages work on and
// hand on.
constexpr std::size_t kDefaultChunk = std::size_t{1} << 18;  // 256 KiB

// The end of the chain: writes into the temporary file (the chain hands on
// large pieces). After the first failure it swallows everything and keeps
// the error.
class Output : public ByteSink {
 public:
  explicit Output(File* file) : file_(file) {}
  void Put(const char* p, std::size_t n) override {
    if (file_ && error_ == kOk) error_ = file_->Write(p, n);
  }
  SysError error() const { return error_; }

 private:
  File* file_;
  SysError error_ = kOk;
};

// The temporary file, removed on every path that does not store it.
struct TempFile {
  File file;
  std::string path;
  ~TempFile() {
    file.Close();
    if (!path.empty()) platform::DeleteFile(path);
  }
};

enum class Scan { kText, kNotText, kReadFailed };

// Reads the whole file through the chain, checking every piece for a zero
// byte before it goes on.
Scan Pump(File& in, ReplaceChain& chain, std::size_t chunk) {
  for (;;) {
    char* at = chain.InputSpace(chunk);
    std::size_t got = 0;
    if (in.Read(at, chunk, &got) != kOk) return Scan::kReadFailed;
    if (got == 0) break;
    if (std::memchr(at, 0, got)) return Scan::kNotText;
    chain.Commit(got);
  }
  chain.Finish();
  return Scan::kText;
}

// Gives the complete temporary file the target's name, keeping the target's
// old content on every failure. Returns false when the target still holds
// its old content.
bool StoreNewContent(const std::string& path, const std::string& temp, int* make_backup) {
  if (make_backup && *make_backup) {
    const std::string backup = path + kBackupSuffix;
    platform::DeleteFile(backup);
    // The old file takes the backup name as a second name, and the new file
    // then replaces it under the target's name in one step: at no moment is
    // the target without its old or its new content, even if the process
    // dies in between. (A read-only target cannot be replaced, and some file
    // systems have no second names: then the old file is renamed.)
    platform::FileInfo info;
    if (platform::QueryFileInfo(path, &info) == kOk && !info.read_only &&
        platform::LinkFile(path, backup) == kOk) {
      *make_backup = 0;
      if (platform::ReplaceFile(temp, path) == kOk) return true;
      // The target still holds its old content: no backup stays, so the
      // next pass makes one.
      if (platform::DeleteFile(backup) == kOk) *make_backup = 1;
      return false;
    }
    const bool backed_up = platform::MoveFile(path, backup) == kOk;
    *make_backup = 0;
    if (backed_up) {
      if (platform::MoveFile(temp, path) == kOk) return true;
      // Put the old file back under its name; its content is safe in the
      // backup either way. No backup stays, so the next pass makes one.
      if (platform::MoveFile(backup, path) == kOk) *make_backup = 1;
      return false;
    }
    // The old file could not become the backup: go on without one.
  }
  platform::CopyAttributes(path, temp);
  return platform::ReplaceFile(temp, path) == kOk;
}

}  // namespace

std::int64_t RewriteFile(const std::string& path, const std::vector<ReplacePair>& pairs, int* make_backup,
                         const LeadBytes& lead, const RewriteOptions& options) {
  try {
    const std::size_t chunk = options.buffer_bytes ? options.buffer_bytes : kDefaultChunk;
    SysError error = kOk;
    File in = File::OpenReadExclusive(path, &error);
    if (!in.IsOpen()) return kRewriteOpenFailed;

    // A failure to create or fill the temporary file is reported only once
    // the whole file has been checked to be text.
    TempFile temp;
    if (!options.dry_run) temp.file = File::CreateTempBeside(path, &temp.path, &error);
    const bool writing = temp.file.IsOpen();
    Output out(writing ? &temp.file : nullptr);
    ReplaceChain chain(pairs, lead, &out, chunk);
    const Scan scan = Pump(in, chain, chunk);
    in.Close();
    if (scan == Scan::kNotText) return kRewriteNotText;
    if (scan == Scan::kReadFailed) return kRewriteOpenFailed;
    if (!options.dry_run) {
      bool complete = writing && out.error() == kOk;
      complete = complete && temp.file.Flush(options.durable) == kOk;
      complete = temp.file.Close() == kOk && complete;
      if (!complete || !StoreNewContent(path, temp.path, make_backup)) return kRewriteWriteFailed;
      temp.path.clear();  // it is the target now
    }
    return chain.count();
  } catch (const std::bad_alloc&) {
    return kRewriteNoMemory;
  }
}

}  // namespace vx
