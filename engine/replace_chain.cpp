#include "engine/replace_chain.h"

#include <algorithm>
#include <cstring>

#include "engine/decode.h"
#include "engine/scan.h"

namespace vx {
namespace {

// A growable byte buffer that never clears what it hands out.
class Bytes {
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
    Reserve(size_ + n);
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

}  // namespace

// One alternative with its replacement.
class ReplaceChain::Stage {
 public:
  Stage(std::string alternative, std::string_view replacement, const LeadBytes& lead, std::size_t chunk)
      : scanner_(std::move(alternative), lead), replacement_(replacement), chunk_(chunk) {}

  void Connect(Stage* next, ByteSink* sink) {
    next_ = next;
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
  void Append(const char* p, std::size_t n) {
    input_.Append(p, n);
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
      sink_->Put(p, n);
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
  ByteSink* sink_ = nullptr;
};

ReplaceChain::ReplaceChain(const std::vector<ReplacePair>& pairs, const LeadBytes& lead, ByteSink* sink,
                           std::size_t chunk)
    : sink_(sink) {
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
    stages_[i]->Connect(i + 1 < stages_.size() ? stages_[i + 1].get() : nullptr, sink_);
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
