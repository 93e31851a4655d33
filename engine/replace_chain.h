// Streamed replacement: every alternative of every pair as a stage that
// replaces its matches in the bytes the stage before it produced, keeping
// back only the few bytes a match might still need. Fed in pieces of any
// size, it yields exactly the text and count of replacing the alternatives
// one after another over the whole text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/decode.h"
#include "platform/encoding.h"

namespace vx {

// Where the chain's output goes, in pieces.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Put(const char* data, std::size_t n) = 0;
};

class StringSink : public ByteSink {
 public:
  void Put(const char* data, std::size_t n) override { text.append(data, n); }
  std::string text;
};

class ReplaceChain {
 public:
  // A stage for every alternative of the texts, matching by the walk of the
  // text's encoding. Stages work on, and hand on, pieces of about `chunk`
  // bytes; buffers stay within a few chunks.
  ReplaceChain(const FileTexts& texts, const TextWalk& walk, ByteSink* sink,
               std::size_t chunk = std::size_t{1} << 18);
  ~ReplaceChain();
  ReplaceChain(const ReplaceChain&) = delete;
  ReplaceChain& operator=(const ReplaceChain&) = delete;

  // Room for up to n more input bytes, to be read into directly; Commit
  // then passes on the first `got` of them.
  char* InputSpace(std::size_t n);
  void Commit(std::size_t got);
  void Feed(const char* data, std::size_t n);
  // Bytes that go out as they are, ahead of the text (a byte-order mark).
  void PassOn(const char* data, std::size_t n);
  // The end of the text: everything held back goes out.
  void Finish();

  std::int64_t count() const;
  // An expression's match ran past the engine's limits: the output is not
  // to be used.
  bool too_complex() const;
  // Stages: one per alternative that can match.
  std::size_t stage_count() const { return stages_.size(); }

  class Bytes;
  class Stage;

 private:
  void Drive(bool last);
  void HandOut();

  // The last stage's output (with no stages, the input), handed to the sink
  // in chunks.
  std::unique_ptr<Bytes> output_;
  std::vector<std::string> replacements_;
  std::vector<std::unique_ptr<Stage>> stages_;
  ByteSink* sink_;
  std::size_t chunk_;
  std::uint64_t handed_out_ = 0;
};

}  // namespace vx
