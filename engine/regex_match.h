// Regular expressions on a file's own text, through PCRE2: compiled once per
// run and pattern, matched on the text as its encoding gives it. UTF-8 is
// matched as it is (8-bit code units); UTF-16 and the byte code pages
// through their UTF-16 form (16-bit units), a byte code page's characters
// one unit each, so that a match starts and ends on whole characters only
// and the bytes between the matches are copied as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/encoding.h"

namespace vx {

class ByteSink;

// A compiled expression for one code-unit width. Shared by every file (and
// thread) of a run; matching keeps its own state.
class Expression {
 public:
  struct Error {
    std::size_t offset = 0;  // in characters of the pattern
    std::string reason;
  };

  // The expression for `pattern` (UTF-8) matched on units of `width` bits
  // (8: UTF-8 text; 16: UTF-16), with letter case ignored or not; from a
  // cache the whole process shares. Null with *error set when the pattern
  // does not compile.
  static std::shared_ptr<const Expression> Get(std::string_view pattern, bool ignore_case, int width,
                                               Error* error = nullptr);
  ~Expression();
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  int width() const { return width_; }
  std::uint32_t group_count() const { return group_count_; }
  // The number of the group named `name` (UTF-8); -1 when there is none.
  int GroupNumber(std::string_view name) const;

 private:
  friend class ExpressionPass;
  Expression(int width, void* code, std::uint32_t group_count);
  int width_;
  void* code_;  // pcre2_code_8 or pcre2_code_16
  std::uint32_t group_count_;
  // PCRE2 takes the pattern (one that starts with .*) to match only where a
  // line starts, and so never tries the LF of a CR LF: the pass does.
  bool lines_only_ = false;
  // The characters before where a search starts that a match may look at
  // (its lookbehinds, \b, ^).
  std::size_t behind_ = 0;
  // Whether what a match is depends on where a search starts (a verb, a
  // callout, \G): such an expression is matched on the whole text at once.
  bool whole_text_ = false;
  // The characters that every match starts with (letter case ignored or
  // not), where the pattern plainly says so; else none.
  std::u32string leading_;
  bool ignore_case_ = false;
};

// The expression `pattern` (UTF-8) as it is compiled, so that the line rules
// hold within a match as they do where one starts:
//  - ^, $ and \Z never match between the CR and the LF of a line end
//    (PCRE2 takes the CR alone for a line end there: "\r^" would match);
//  - a match may start at the LF of a CR LF, as at any other place (PCRE2
//    skips that place after a failed try at the CR when the pattern names
//    no CR or LF: "\Da" found nothing in "x\r\na"). A group that is never
//    run, (?(DEFINE)\n), names one.
// The pattern means what it meant otherwise, and compiles if it did.
std::string WithLineRules(std::string_view pattern);

// A piece of a replacement as one file needs it: bytes in the file's
// encoding, or a group of the match (its bytes as the file holds them).
struct ReplacementPiece {
  std::string bytes;
  int group = -1;  // -1: the bytes
};

// What became of an expression's pass over a text.
enum class PassResult { kDone, kTooComplex };

// Replaces every match of an expression in a text, left to right and
// without overlaps, as Perl does: an empty match is taken, and after one the
// next match may not be empty at the same place; no empty match falls
// between the CR and the LF of a line end. The matches are found on the
// text of `code_page` (its bytes after any byte-order mark); the text
// between them goes out as it is.
//
// The text comes in pieces and is matched a window of about `window` bytes
// at a time, as PCRE2 matches a text in segments: where a match could reach
// past the bytes held, the bytes from its start are held (with the
// characters before it that it may look at) until the window has doubled;
// everything before goes out. The result is the whole text's.
class ExpressionPass {
 public:
  ExpressionPass(std::shared_ptr<const Expression> expression, std::vector<ReplacementPiece> replacement,
                 CodePage code_page, std::size_t window = std::size_t{1} << 20);
  ~ExpressionPass();
  ExpressionPass(const ExpressionPass&) = delete;
  ExpressionPass& operator=(const ExpressionPass&) = delete;

  // Takes the text's next n bytes; `last`: no more follow. kTooComplex when
  // a match ran past the engine's limits (time or memory): what went to
  // `out` is then to be dropped, and nothing more is taken.
  PassResult Take(const char* data, std::size_t n, bool last, ByteSink* out, std::int64_t* count);

 private:
  struct State;
  template <int W>
  PassResult MatchHeld(bool last, ByteSink* out, std::int64_t* count);
  void SkipToLeadingText(bool last, ByteSink* out);

  std::shared_ptr<const Expression> expression_;
  std::vector<ReplacementPiece> replacement_;
  CodePage code_page_;
  std::size_t window_;
  std::unique_ptr<State> state_;
  std::string held_;           // the text from a character's first byte on
  bool held_from_start_ = true;  // held_ starts where the text does
  std::size_t start_ = 0;      // where the search goes on, in units of held_
  std::size_t start_byte_ = 0;  // and in its bytes
  std::uint32_t flags_ = 0;    // how it goes on there (after an empty match)
  std::size_t wait_ = 0;       // the bytes to hold before the next try
  std::string leading_bytes_;  // the expression's leading text in the code page, or its start
  bool skips_ = false;         // to where that text is
  bool too_complex_ = false;
};

// Limits a single match runs within (a pattern that backtracks without end
// fails on the file instead of holding up the run).
inline constexpr std::uint32_t kMatchLimit = 5'000'000;
inline constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
inline constexpr std::size_t kJitStackBytes = std::size_t{8} << 20;

}  // namespace vx
