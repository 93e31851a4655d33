// The rewrite pass, streamed. The file is read once, in fixed-size chunks,
// and each alternative of each pair is a stage that replaces its matches in
// the bytes the stage before it produced, keeping back only the few bytes a
// match might still need. The last stage feeds a buffered writer into a
// temporary file beside the target, which takes the target's name only once
// it is complete. The results are those of reading and rewriting the whole
// file once per alternative, at the cost of one read and one write.
#include "engine/rewrite.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/decode.h"
#include "engine/scan.h"
#include "platform/file.h"

namespace vx {
namespace {

using platform::File;
using platform::kOk;
using platform::SysError;

// Working buffer sizes: reads, the bytes a stage gathers before it works,
// and the output buffer.
struct Sizes {
  std::size_t read = std::size_t{1} << 18;     // 256 KiB
  std::size_t stage = std::size_t{1} << 18;
  std::size_t output = std::size_t{1} << 20;   // 1 MiB

  static Sizes For(const RewriteOptions& options) {
    Sizes sizes;
    if (options.buffer_bytes) sizes.read = sizes.stage = sizes.output = options.buffer_bytes;
    return sizes;
  }
};

// A growable byte buffer that never clears what it hands out.
class Bytes {
 public:
  char* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }
  void Append(const char* p, std::size_t n) {
    if (size_ + n > capacity_) Reserve(std::max(capacity_ * 2, size_ + n));
    std::memcpy(data_.get() + size_, p, n);
    size_ += n;
  }
  void Grow(std::size_t n) { size_ += n; }
  // Keeps bytes [from, size) and moves them to the front.
  void KeepFrom(std::size_t from) {
    std::memmove(data_.get(), data_.get() + from, size_ - from);
    size_ -= from;
  }
  void Clear() { size_ = 0; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The end of the chain: buffered writes into the temporary file. After the
// first failure it swallows everything and keeps the error.
class Output {
 public:
  Output(File* file, std::size_t chunk) : file_(file), chunk_(chunk) {
    if (file_) buffer_.Reserve(chunk_);
  }
  void Put(const char* p, std::size_t n) {
    if (!file_ || error_ != kOk || n == 0) return;
    if (buffer_.size() + n > chunk_) {
      Drain();
      if (n >= chunk_ / 2) {  // large unchanged runs go straight out
        Write(p, n);
        return;
      }
    }
    buffer_.Append(p, n);
  }
  SysError Finish() {
    Drain();
    return error_;
  }
  bool failed() const { return error_ != kOk; }

 private:
  void Drain() {
    if (buffer_.size()) Write(buffer_.data(), buffer_.size());
    buffer_.Clear();
  }
  void Write(const char* p, std::size_t n) {
    if (error_ == kOk) error_ = file_->Write(p, n);
  }

  File* file_;
  std::size_t chunk_;
  Bytes buffer_;
  SysError error_ = kOk;
};

// One alternative with its replacement, as a streaming stage.
class Stage {
 public:
  Stage(std::string alternative, std::string_view replacement, const LeadBytes& lead, const Sizes& sizes)
      : scanner_(std::move(alternative), lead), replacement_(replacement), chunk_(sizes.stage) {
    input_.Reserve(sizes.stage + sizes.read + scanner_.alternative().size());
  }
  void Connect(Stage* next, Output* out) {
    next_ = next;
    out_ = out;
  }
  Bytes& input() { return input_; }
  std::int64_t count() const { return count_; }

  void Append(const char* p, std::size_t n) {
    input_.Append(p, n);
    if (input_.size() >= chunk_) Work(false);
  }
  // Called after bytes were placed into input() directly.
  void Grew() {
    if (input_.size() >= chunk_) Work(false);
  }
  void Finish() {
    Work(true);
    if (next_) next_->Finish();
  }

 private:
  void Emit(const char* p, std::size_t n) {
    if (n == 0) return;
    if (next_)
      next_->Append(p, n);
    else
      out_->Put(p, n);
  }

  // Replaces every match that lies wholly within the held bytes; unless this
  // is the end of the text, keeps back the last bytes that could begin a
  // match still to be completed.
  void Work(bool last) {
    const std::size_t m = scanner_.alternative().size();
    char* text = input_.data();
    const std::size_t size = input_.size();
    std::size_t pos = start_;  // segment start or a known boundary
    std::size_t emitted = 0;
    for (;;) {
      const std::size_t hit = scanner_.Find(text, size, pos);
      if (hit == size) break;
      Emit(text + emitted, hit - emitted);
      Emit(replacement_.data(), replacement_.size());
      ++count_;
      pos = emitted = hit + m;
    }
    if (last) {
      Emit(text + emitted, size - emitted);
      input_.Clear();
      start_ = 0;
      return;
    }
    std::size_t keep = size - std::min(size - pos, m ? m - 1 : 0);
    if (keep < pos) keep = pos;
    // The kept bytes (perhaps none yet) begin on a boundary, or on the
    // second byte of a character, in which case the byte after it is one.
    start_ = scanner_.IsBoundary(text, pos, keep) ? 0 : 1;
    Emit(text + emitted, keep - emitted);
    input_.KeepFrom(keep);
  }

  AlternativeScanner scanner_;
  std::string_view replacement_;
  std::size_t chunk_;
  Bytes input_;
  std::size_t start_ = 0;
  std::int64_t count_ = 0;
  Stage* next_ = nullptr;
  Output* out_ = nullptr;
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

// Reads the whole file through the stages (or straight into the output when
// there are none), checking every chunk for a zero byte before it goes on.
Scan Pump(File& in, std::vector<std::unique_ptr<Stage>>& stages, Output& out, std::size_t chunk) {
  Bytes direct;
  for (;;) {
    Bytes& target = stages.empty() ? direct : stages.front()->input();
    target.Reserve(target.size() + chunk);
    char* at = target.data() + target.size();
    std::size_t got = 0;
    if (in.Read(at, chunk, &got) != kOk) return Scan::kReadFailed;
    if (got == 0) break;
    if (std::memchr(at, 0, got)) return Scan::kNotText;
    if (stages.empty()) {
      out.Put(at, got);
    } else {
      target.Grow(got);
      stages.front()->Grew();
    }
  }
  if (!stages.empty()) stages.front()->Finish();
  return Scan::kText;
}

// Gives the complete temporary file the target's name, keeping the target's
// old content on every failure. Returns false when the target still holds
// its old content.
bool StoreNewContent(const std::string& path, const std::string& temp, int* make_backup) {
  if (make_backup && *make_backup) {
    const std::string backup = path + ".bak";
    platform::DeleteFile(backup);
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
    const Sizes sizes = Sizes::For(options);
    // Every alternative of every pair, in order; an empty one never matches,
    // so it has no stage, but its pass still rewrites the file unchanged.
    std::vector<DecodedTexts> decoded;
    decoded.reserve(pairs.size());
    std::vector<std::unique_ptr<Stage>> stages;
    for (const ReplacePair& pair : pairs) {
      decoded.push_back(DecodeEscapes(pair.search, pair.replace, lead));
      for (std::string& alternative : SplitAlternatives(decoded.back().search)) {
        if (!alternative.empty())
          stages.push_back(std::make_unique<Stage>(std::move(alternative), decoded.back().replace, lead, sizes));
      }
    }

    SysError error = kOk;
    File in = File::OpenReadExclusive(path, &error);
    if (!in.IsOpen()) return kRewriteOpenFailed;

    // A failure to create or fill the temporary file is reported only once
    // the whole file has been checked to be text.
    TempFile temp;
    if (!options.dry_run) temp.file = File::CreateTempBeside(path, &temp.path, &error);
    const bool writing = temp.file.IsOpen();
    Output out(writing ? &temp.file : nullptr, sizes.output);
    for (std::size_t i = 0; i < stages.size(); ++i)
      stages[i]->Connect(i + 1 < stages.size() ? stages[i + 1].get() : nullptr, &out);

    const Scan scan = Pump(in, stages, out, sizes.read);
    in.Close();
    if (scan == Scan::kNotText) return kRewriteNotText;
    if (scan == Scan::kReadFailed) return kRewriteOpenFailed;
    if (!options.dry_run) {
      bool complete = writing && out.Finish() == kOk;
      complete = complete && temp.file.Flush(options.durable) == kOk;
      complete = temp.file.Close() == kOk && complete;
      if (!complete || !StoreNewContent(path, temp.path, make_backup)) return kRewriteWriteFailed;
      temp.path.clear();  // it is the target now
    }

    std::int64_t count = 0;
    for (const auto& stage : stages) count += stage->count();
    return count;
  } catch (const std::bad_alloc&) {
    return kRewriteNoMemory;
  }
}

}  // namespace vx
