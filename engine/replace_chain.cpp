#include "engine/replace_chain.h"

#include <algorithm>
#include <cstring>

#include "engine/decode.h"
#include "engine/scan.h"

namespace vx {

// A growable byte buffer that never clears what it hands out.
class ReplaceChain::Bytes {
 public:
  char* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    capacity = std::max(capacity, capacity_ * 2);
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }
  void Append(const char* p, std::size_t n) {
    if (n == 0) return;
    Reserve(size_ + n);
    std::memcpy(data_.get() + size_, p, n);
    size_ += n;
  }
  void Grow(std::size_t n) { size_ += n; }
  // Keeps bytes [from, size) and moves them to the front.
  void KeepFrom(std::size_t from) {
    if (from == 0) return;
    std::memmove(data_.get(), data_.get() + from, size_ - from);
    size_ -= from;
  }
  void Clear() { size_ = 0; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// One alternative with its replacement. Its output goes into the next
// stage's input, or for the last stage into the chain's output buffer; either
// is handed on once it holds a chunk.
class ReplaceChain::Stage {
 public:
  Stage(std::string alternative, std::string_view replacement, const LeadBytes& lead, std::size_t chunk)
      : scanner_(std::move(alternative), lead), replacement_(replacement), chunk_(chunk) {}

  void Connect(Stage* next, Bytes* output, ByteSink* sink) {
    next_ = next;
    out_ = next ? &next->input_ : output;
    sink_ = sink;
  }
  std::int64_t count() const { return count_; }

  char* Space(std::size_t n) {
    input_.Reserve(input_.size() + n);
    return input_.data() + input_.size();
  }
  void Grew(std::size_t n) {
    input_.Grow(n);
    if (input_.size() >= chunk_) Work(false);
  }
  void Finish() {
    Work(true);
    HandOn();
    if (next_) next_->Finish();
  }

 private:
  void Emit(const char* p, std::size_t n) {
    out_->Append(p, n);
    if (out_->size() >= chunk_) HandOn();
  }
  void HandOn() {
    if (next_) {
      if (out_->size() >= chunk_) next_->Work(false);
    } else if (out_->size()) {
      sink_->Put(out_->data(), out_->size());
      out_->Clear();
    }
  }

  // Replaces every match that lies wholly within the held bytes; unless this
  // is the end of the text, keeps back the last bytes that could begin a
  // match still to be completed.
  void Work(bool last) {
    const std::size_t m = scanner_.alternative().size();
    const char* text = input_.data();
    const std::size_t size = input_.size();
    std::size_t pos = start_;  // segment start or a known boundary
    std::size_t emitted = 0;
    std::size_t found[256];
    for (;;) {
      const std::size_t n = scanner_.FindAll(text, size, pos, found, std::size(found));
      for (std::size_t i = 0; i < n; ++i) {
        Emit(text + emitted, found[i] - emitted);
        Emit(replacement_.data(), replacement_.size());
        emitted = found[i] + m;
      }
      count_ += static_cast<std::int64_t>(n);
      if (n) pos = emitted;
      if (n < std::size(found)) break;
    }
    if (last) {
      Emit(text + emitted, size - emitted);
      input_.Clear();
      start_ = 0;
      return;
    }
    const std::size_t keep = std::max(pos, size - std::min(size, m - 1));
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
  Bytes* out_ = nullptr;
  ByteSink* sink_ = nullptr;
};

ReplaceChain::ReplaceChain(const std::vector<ReplacePair>& pairs, const LeadBytes& lead, ByteSink* sink,
                           std::size_t chunk)
    : output_(std::make_unique<Bytes>()), sink_(sink) {
  chunk = std::max<std::size_t>(chunk, 1);
  replacements_.reserve(pairs.size());  // the stages point into these
  for (const ReplacePair& pair : pairs) {
    DecodedTexts decoded = DecodeEscapes(pair.search, pair.replace, lead);
    replacements_.push_back(std::move(decoded.replace));
    for (std::string& alternative : SplitAlternatives(decoded.search)) {
      // An empty alternative never matches: it needs no stage.
      if (!alternative.empty())
        stages_.push_back(std::make_unique<Stage>(std::move(alternative), replacements_.back(), lead, chunk));
    }
  }
  for (std::size_t i = 0; i < stages_.size(); ++i)
    stages_[i]->Connect(i + 1 < stages_.size() ? stages_[i + 1].get() : nullptr, output_.get(), sink_);
}

ReplaceChain::~ReplaceChain() = default;

char* ReplaceChain::InputSpace(std::size_t n) {
  if (!stages_.empty()) return stages_.front()->Space(n);
  if (direct_.size() < n) direct_.resize(n);
  return direct_.data();
}

void ReplaceChain::Commit(std::size_t got) {
  if (got == 0) return;
  if (stages_.empty())
    sink_->Put(direct_.data(), got);
  else
    stages_.front()->Grew(got);
}

void ReplaceChain::Feed(const char* data, std::size_t n) {
  std::memcpy(InputSpace(n), data, n);
  Commit(n);
}

void ReplaceChain::Finish() {
  if (!stages_.empty()) stages_.front()->Finish();
}

std::int64_t ReplaceChain::count() const {
  std::int64_t total = 0;
  for (const auto& stage : stages_) total += stage->count();
  return total;
}

}  // namespace vx
