#include "engine/replace_chain.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include "engine/scan.h"

namespace vx {

// A growable byte buffer that never clears what it hands out. Its bytes
// can be placed at any offset within a 64-byte line: large copies into and
// out of the kernel (a read into the buffer, a write from it) run several
// times faster where both sides share their offset within a line, and on
// some processors much slower where they do not.
class ReplaceChain::Bytes {
 public:
  static constexpr std::size_t kLine = 64;

  char* data() { return line_ + start_; }
  std::size_t size() const { return size_; }
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    capacity = std::max(capacity, capacity_ * 2);
    // Room for a line's worth of offset, from the first line start in it.
    std::unique_ptr<char[]> bigger(new char[capacity + 2 * kLine]);
    char* const line = bigger.get() + (kLine - reinterpret_cast<std::uintptr_t>(bigger.get()) % kLine);
    if (size_) std::memcpy(line + start_, data(), size_);
    block_ = std::move(bigger);
    line_ = line;
    capacity_ = capacity;
  }
  void Append(const char* p, std::size_t n) {
    if (n == 0) return;
    Reserve(size_ + n);
    std::memcpy(data() + size_, p, n);
    size_ += n;
  }
  void Grow(std::size_t n) { size_ += n; }
  // Keeps bytes [from, size) and moves them to the front, placed so that
  // they end on a line: what is read in after them starts on one.
  void KeepFrom(std::size_t from) {
    if (from == 0) return;
    const std::size_t kept = size_ - from, start = (kLine - kept % kLine) % kLine;
    std::memmove(line_ + start, data() + from, kept);
    start_ = start;
    size_ = kept;
  }
  // Empties the buffer; what comes next starts at `offset` within a line.
  void Clear(std::size_t offset = 0) {
    size_ = 0;
    start_ = offset % kLine;
  }

 private:
  std::unique_ptr<char[]> block_;
  char* line_ = nullptr;  // the first line start in block_
  std::size_t start_ = 0;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// One alternative with its replacement. Its output goes into the next
// stage's input, or for the last stage into the chain's output buffer. A
// stage works in steps that stop once its output holds a chunk, so no
// buffer grows far past a chunk whatever the replacements, and the chain
// drives the stages in a loop, never one from inside another.
class ReplaceChain::Stage {
 public:
  Stage(std::string alternative, bool any_form, std::string_view replacement, const TextWalk& walk,
        std::size_t chunk)
      : scanner_(std::move(alternative), walk, any_form), replacement_(replacement), chunk_(chunk) {}
  // An expression's stage: its pass holds what it needs of the text.
  Stage(std::unique_ptr<ExpressionPass> pass, const TextWalk& walk, std::size_t chunk)
      : scanner_(std::string(), walk), pass_(std::move(pass)), chunk_(chunk) {}

  // `drain`, for the last stage: hands the output on.
  void Connect(Bytes* out, std::function<void()> drain = {}) {
    out_ = out;
    drain_ = std::move(drain);
  }
  Bytes& input() { return input_; }
  std::int64_t count() const { return count_; }
  bool finished() const { return finished_; }
  bool too_complex() const { return too_complex_; }

  // Whether a step is due: a chunk of input waits beyond the bytes a step
  // may have to keep back, or this is the end of the text (every stage
  // before has finished) and this stage has not finished.
  bool Ready(bool final) const {
    if (pass_) return final ? !finished_ : input_.size() >= chunk_;
    return final ? !finished_ : input_.size() - emitted_ >= chunk_ + scanner_.alternative().size() - 1;
  }

  // Replaces the matches that lie wholly within the held bytes, from where
  // the last step stopped, until it has put out a chunk. When no match is
  // left, passes on the bytes that cannot begin one; at the end of the text,
  // all of them.
  void Step(bool final) {
    if (pass_) return StepExpression(final);
    const std::size_t m = scanner_.alternative().size();
    const std::size_t out_before = out_->size();
    const char* text = input_.data();
    const std::size_t size = input_.size();
    std::size_t found[32];
    for (;;) {
      const std::size_t n = scanner_.FindAll(text, size, pos_, found, std::size(found));
      for (std::size_t i = 0; i < n; ++i) {
        out_->Append(text + emitted_, found[i] - emitted_);
        out_->Append(replacement_.data(), replacement_.size());
        emitted_ = pos_ = found[i] + m;
        ++count_;
        if (out_->size() - out_before >= chunk_) {
          // The next step goes on from pos_. Drop the bytes passed on once
          // they are at least as many as those still held.
          if (emitted_ >= size - emitted_) {
            input_.KeepFrom(emitted_);
            pos_ -= emitted_;
            emitted_ = 0;
          }
          return;
        }
      }
      if (n < std::size(found)) break;
    }
    if (final) {
      out_->Append(text + emitted_, size - emitted_);
      input_.Clear();
      emitted_ = pos_ = 0;
      finished_ = true;
      return;
    }
    // Keep the last bytes that could begin a match still to be completed.
    // They (perhaps none yet) begin on a boundary, or on the second byte of
    // a character, in which case the byte after it is one.
    const std::size_t keep = std::max(pos_, size - std::min(size, m - 1));
    const bool on_boundary = scanner_.IsBoundary(text, pos_, keep);
    out_->Append(text + emitted_, keep - emitted_);
    input_.KeepFrom(keep);
    emitted_ = 0;
    pos_ = on_boundary ? 0 : 1;
  }

 private:
  // The input through the expression. Past the engine's limits the chain
  // reports the failure, and its output is not used.
  void StepExpression(bool final) {
    // The last stage's output goes on to the sink a chunk at a time.
    struct Into : ByteSink {
      Into(Bytes* bytes, std::function<void()> drain, std::size_t chunk)
          : bytes(bytes), drain(std::move(drain)), chunk(chunk) {}
      void Put(const char* data, std::size_t n) override {
        bytes->Append(data, n);
        if (drain && bytes->size() >= chunk) drain();
      }
      Bytes* bytes;
      std::function<void()> drain;
      std::size_t chunk;
    } into(out_, drain_, chunk_);
    too_complex_ = pass_->Take(input_.data(), input_.size(), final, &into, &count_) == PassResult::kTooComplex;
    input_.Clear();
    finished_ = final;
  }

  AlternativeScanner scanner_;
  std::unique_ptr<ExpressionPass> pass_;
  std::function<void()> drain_;
  std::string_view replacement_;
  std::size_t chunk_;
  Bytes input_;
  std::size_t emitted_ = 0;  // input bytes passed on so far
  std::size_t pos_ = 0;      // where the search goes on: the segment start or a known boundary
  std::int64_t count_ = 0;
  bool finished_ = false;
  bool too_complex_ = false;
  Bytes* out_ = nullptr;
};

ReplaceChain::ReplaceChain(const FileTexts& texts, const TextWalk& walk, ByteSink* sink, std::size_t chunk)
    : output_(std::make_unique<Bytes>()),
      replacements_(texts.replacements),  // the stages point into these
      sink_(sink),
      chunk_(std::max<std::size_t>(chunk, 1)) {
  for (const FileTexts::Alternative& alternative : texts.alternatives) {
    if (alternative.expression) {
      stages_.push_back(std::make_unique<Stage>(
          std::make_unique<ExpressionPass>(alternative.expression, texts.pieces[alternative.pair], texts.code_page,
                                           chunk_ * 4),
          walk, chunk_));
    } else {
      stages_.push_back(std::make_unique<Stage>(alternative.text, alternative.any_form,
                                                replacements_[alternative.pair], walk, chunk_));
    }
  }
  for (std::size_t i = 0; i + 1 < stages_.size(); ++i) stages_[i]->Connect(&stages_[i + 1]->input());
  if (!stages_.empty()) stages_.back()->Connect(output_.get(), [this] { HandOut(); });
}

ReplaceChain::~ReplaceChain() = default;

char* ReplaceChain::InputSpace(std::size_t n) {
  Bytes& input = stages_.empty() ? *output_ : stages_.front()->input();
  input.Reserve(input.size() + n);
  return input.data() + input.size();
}

void ReplaceChain::Commit(std::size_t got) {
  (stages_.empty() ? *output_ : stages_.front()->input()).Grow(got);
  Drive(false);
}

void ReplaceChain::PassOn(const char* data, std::size_t n) { output_->Append(data, n); }

void ReplaceChain::Feed(const char* data, std::size_t n) {
  if (n == 0) return;
  std::memcpy(InputSpace(n), data, n);
  Commit(n);
}

void ReplaceChain::Finish() { Drive(true); }

// Runs the due steps, moving down the chain whenever a step has made work
// for the next stage and back up when a stage has none, so that what a
// stage produced is worked off before it goes on. Every stage below the
// current one is never due; so when the first one is not due either, all
// is done (at the end of the text: every stage has finished).
void ReplaceChain::Drive(bool last) {
  const std::size_t k = stages_.size();
  const auto at_end = [&](std::size_t i) { return last && (i == 0 || stages_[i - 1]->finished()); };
  std::size_t i = 0;
  while (k) {
    if (stages_[i]->Ready(at_end(i))) {
      stages_[i]->Step(at_end(i));
      if (output_->size() >= chunk_) HandOut();
      if (i + 1 < k && stages_[i + 1]->Ready(at_end(i + 1))) ++i;
    } else if (i > 0) {
      --i;
    } else {
      break;
    }
  }
  if (last || output_->size() >= chunk_) HandOut();
}

// The output goes out placed as the sink will place it: its next byte
// shares its offset within a line with its offset in the whole output.
void ReplaceChain::HandOut() {
  if (output_->size()) sink_->Put(output_->data(), output_->size());
  handed_out_ += output_->size();
  output_->Clear(handed_out_);
}

bool ReplaceChain::too_complex() const {
  for (const auto& stage : stages_)
    if (stage->too_complex()) return true;
  return false;
}

std::int64_t ReplaceChain::count() const {
  std::int64_t total = 0;
  for (const auto& stage : stages_) total += stage->count();
  return total;
}

}  // namespace vx
