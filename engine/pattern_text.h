// The texts of regular expressions that the matching options are built
// from: a literal search text written as an expression, the width-and-kana
// fold applied to an expression's literal characters, and the word rule put
// around an expression. Pure text functions, UTF-8 in and UTF-8 out, the
// same on every platform; the expressions they build are in the regex
// engine's syntax and assume what it compiles with: UTF and Unicode
// properties on, line ends CR, LF or CR LF, and no extended mode given from
// outside (an expression may still turn it on with "(?x)").
//
// Use: the engine compiles the user's expression as given first (to report
// its errors against the text the user typed), then compiles
//   WordPattern(FoldPattern(expression))   (each step only when its option is on)
// or, in literal mode, WordPattern(LiteralPattern(text, fold)).
//
// The fold: full-width and half-width forms are one (ASCII 21-7E and
// FF01-FF5E, the space and U+3000, ¢£¬¯¦¥₩ and FFE0-FFE6); half-width and
// full-width katakana are one, a half-width voiced pair (ｶﾞ, ﾊﾟ, ｳﾞ) being
// the one voiced character (ガ, パ, ヴ); hiragana and katakana are one (あ ア ｱ,
// が ガ ｶﾞ, ゔ ヴ ｳﾞ, ゝゞ ヽヾ, the small kana, ー ｰ); a half-width ﾞ or ﾟ
// that voices nothing and ゛ ゜ are one. A half-width voiced pair is never
// split: カ does not find the ｶ of ｶﾞ (ｶ is taken only when no mark it can
// take follows), nor ゛ its ﾞ. Letter case is the engine's (caseless
// matching), not the fold's.
#pragma once

#include <string>
#include <string_view>

namespace vx {

// An expression that finds exactly the literal `text`, with the fold when
// `fold` is set. ASCII letters and digits are written as they are, every
// other character as \x{HHHH}, so that no character is syntax and the
// expression means the same in extended mode ("(?x)") and inside any group.
// Each folded character is one atom (a class or a non-capturing group), so
// a quantifier put after it applies to all of it.
// `text` is valid UTF-8 (the caller checks typed texts). Should it not be,
// each invalid byte becomes (*FAIL): the engine never matches an invalid
// sequence of a subject, so such a text finds nothing, as it should.
std::string LiteralPattern(std::string_view text, bool fold);

// `pattern` with the fold applied to its literal characters: unescaped
// ordinary characters, a backslash before a character that is no letter or
// digit, the contents of \Q...\E, and the single characters of a class
// [...] (an equivalent of one character joins the class; for a class that
// is not negated, the two-character and half-width forms are added as
// alternatives around it, "(?:ｶﾞ|[...])"; a negated class takes the single
// characters only). A literal ｶﾞ written in the pattern folds as ガ, and a
// quantifier after it applies to the pair.
// Left as written: ranges (a-z, ぁ-ん) and the characters of a class that
// the class holds already (an ｶ written in a class still takes the ｶ of ｶﾞ),
// escapes that name a character by its code (\x{..}, \o{..}, \0dd, \cX,
// \N{U+..}), \d \w \p{..} and the other escapes, backreferences, group and
// option syntax, group names, callouts, verbs, comments ("(?#...)", and
// "#..." in extended mode, which is followed through "(?x)" and its
// scopes), quantifiers {m,n}, POSIX classes [:alpha:]. Inside a lookbehind,
// which must keep a fixed length, a voiced kana does not take its
// two-character form, and a literal ｶﾞ stays as written.
// Only non-capturing groups and lookarounds are added: the groups keep
// their numbers and names. An invalid pattern comes back in some form, not
// necessarily as it was and not necessarily invalid: compile the original
// first. Invalid UTF-8 bytes are copied as they are.
std::string FoldPattern(std::string_view pattern);

// The word rule around `pattern`: "(?<!W)(?:pattern)(?!W)", W being one
// word character: an ASCII letter, digit or '_', a letter of the Latin,
// Greek or Cyrillic script (full-width Ａ-Ｚ ａ-ｚ among them), or a
// full-width digit ０-９. Kanji, kana and CJK punctuation are none, so ID is
// found in "ユーザーIDを" and "(ID)" but not in "IDs" or "_ID". The rule is part
// of the expression, so the engine backtracks to satisfy it ("ab|abc"
// finds "abc" in "abc").
// The wrapping is safe for a pattern that ends inside \Q (an \E is added)
// or inside an extended-mode "#" comment (a line end is added); options
// that must open the pattern ("(*UCP)", "(*LIMIT_MATCH=n)", ...) stay in
// front. A recursion into the whole pattern ("(?R)") takes the rule too.
std::string WordPattern(std::string_view pattern);

}  // namespace vx
