// The rewrite pass, streamed. The file is read once, in fixed-size chunks,
// through the replacement chain, whose last stage feeds a buffered writer
// into a temporary file beside the target; that file takes the target's name
// only once it is complete. The results are those of reading and rewriting
// the whole file once per alternative, at the cost of one read and one write.
#include "engine/rewrite.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "engine/decode.h"
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
  ~TempFile() { Drop(); }
  void Drop() {
    file.Close();
    if (!path.empty()) platform::DeleteFile(path);
    path.clear();
  }
};

// What a pass over the file takes it to be: its encoding, and whether "\n"
// stands for LF alone (its line ends are all LF).
struct Guess {
  Encoding encoding = Encoding::kCodePage;
  bool lf = false;
  bool operator==(const Guess&) const = default;
};

Guess GuessOf(const EncodingDetector& detector, bool line_breaks) {
  return Guess{detector.encoding(), line_breaks && detector.lf_only()};
}

// Whether what the detector has found so far rules the guess out for good.
bool RulesOut(const EncodingDetector& detector, const Guess& guess, bool line_breaks) {
  return (detector.encoding_settled() && detector.encoding() != guess.encoding) ||
         (line_breaks && guess.lf && detector.line_ends_settled());
}

// The first piece of the file: `chunk` bytes, but no fewer than the four a
// byte-order mark is told by unless the file is shorter. *whole: that is
// the whole file.
SysError ReadHead(File& in, std::size_t chunk, std::string* head, bool* whole) {
  const std::size_t want = std::max<std::size_t>(chunk, 4);
  std::uint64_t size = 0;
  // A file shorter than a chunk needs a buffer of its size only (and one
  // more byte for the read that finds the end).
  head->resize(in.Size(&size) == kOk && size < want ? static_cast<std::size_t>(size) + 1 : want);
  std::size_t have = 0;
  *whole = false;
  while (have < head->size()) {
    std::size_t got = 0;
    if (const SysError e = in.Read(head->data() + have, head->size() - have, &got)) return e;
    if (got == 0) {
      *whole = true;
      break;
    }
    have += got;
  }
  head->resize(have);
  return kOk;
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
                         const FileReading& reading, const RewriteOptions& options, Encoding* found) {
  try {
    const std::size_t chunk = options.buffer_bytes ? options.buffer_bytes : kDefaultChunk;
    SysError error = kOk;
    File in = File::OpenReadExclusive(path, &error);
    if (!in.IsOpen()) return kRewriteOpenFailed;

    // The file is taken to be what its first piece says, and read once
    // through the chain made for that. The detector checks every piece
    // before the chain gets it; should the rest of the file prove the first
    // piece wrong, the chain's output is dropped (it never took the
    // target's name) and the file is read once more, now known.
    const CodePage run = reading.detect ? CodePage::kAnsi : reading.texts;
    const bool line_breaks = UsesLineBreak(pairs, reading.texts);
    std::string head;
    bool whole = false;
    if (ReadHead(in, chunk, &head, &whole) != kOk) return kRewriteOpenFailed;
    EncodingDetector detector(reading.detect);
    detector.Take(head.data(), head.size());
    if (whole) detector.Finish();
    if (detector.not_text()) return kRewriteNotText;
    Guess guess = GuessOf(detector, line_breaks);

    TempFile temp;
    std::string spare;  // the pieces read while there is no chain to take them
    for (bool checking = !whole;; checking = false) {
      const CodePage code_page = CodePageOf(guess.encoding, run);
      const FileTexts texts = TextsFor(pairs, reading.texts, code_page, guess.lf ? kLf : kCrLf);
      if (found) *found = guess.encoding;
      if (texts.unrepresentable && !checking) return kRewriteUnrepresentable;
      // A failure to create or fill the temporary file is reported only
      // once the whole file has been checked to be text.
      temp.Drop();
      if (!options.dry_run && !texts.unrepresentable) temp.file = File::CreateTempBeside(path, &temp.path, &error);
      Output out(temp.file.IsOpen() ? &temp.file : nullptr);
      std::optional<ReplaceChain> chain;
      if (!texts.unrepresentable) {
        chain.emplace(texts, WalkOf(code_page), &out, chunk);
        const std::size_t mark = std::min(MarkLength(guess.encoding), head.size());
        out.Put(head.data(), mark);  // the mark is no text to search
        chain->Feed(head.data() + mark, head.size() - mark);
      }
      for (bool more = !whole; more;) {
        char* at = chain ? chain->InputSpace(chunk) : (spare.resize(chunk), spare.data());
        std::size_t got = 0;
        if (in.Read(at, chunk, &got) != kOk) return kRewriteOpenFailed;
        if ((more = got != 0)) {
          if (checking) {
            detector.Take(at, got);
            if (detector.not_text()) return kRewriteNotText;
            if (chain && RulesOut(detector, guess, line_breaks)) chain.reset();
          }
          if (chain) chain->Commit(got);
        }
      }
      if (checking) {
        detector.Finish();
        if (detector.not_text()) return kRewriteNotText;
      }
      const Guess known = checking ? GuessOf(detector, line_breaks) : guess;
      if (known == guess) {
        if (texts.unrepresentable) return kRewriteUnrepresentable;
        chain->Finish();
        in.Close();
        if (!options.dry_run) {
          bool complete = temp.file.IsOpen() && out.error() == kOk;
          complete = complete && temp.file.Flush(options.durable) == kOk;
          complete = temp.file.Close() == kOk && complete;
          if (!complete || !StoreNewContent(path, temp.path, make_backup)) return kRewriteWriteFailed;
          temp.path.clear();  // it is the target now
        }
        return chain->count();
      }
      guess = known;
      if (in.Rewind() != kOk || ReadHead(in, chunk, &head, &whole) != kOk) return kRewriteOpenFailed;
    }
  } catch (const std::bad_alloc&) {
    return kRewriteNoMemory;
  }
}

}  // namespace vx
