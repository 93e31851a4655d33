#include "engine/pattern_text.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

#include "platform/unicode.h"

namespace vx {
namespace {

constexpr char32_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char32_t kSemiVoicedMark = 0xFF9F;  // ﾟ

// ---------------------------------------------------------------------------
// The fold: every character has one key, the form that stands for all the
// forms the fold takes as one (ASCII for the width forms, full-width
// katakana for the kana).

// U+FF61..U+FF9F, the half-width katakana and punctuation, in full width.
constexpr char16_t kHalfWidthKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2,                  // ｡｢｣､･ｦ
    0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7,  // ｧｨｩｪｫｬｭｮ
    0x30C3, 0x30FC,                                                  // ｯｰ
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA,                          // ｱｲｳｴｵ
    0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,                          // ｶｷｸｹｺ
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD,                          // ｻｼｽｾｿ
    0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8,                          // ﾀﾁﾂﾃﾄ
    0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE,                          // ﾅﾆﾇﾈﾉ
    0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB,                          // ﾊﾋﾌﾍﾎ
    0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2,                          // ﾏﾐﾑﾒﾓ
    0x30E4, 0x30E6, 0x30E8,                                          // ﾔﾕﾖ
    0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED,                          // ﾗﾘﾙﾚﾛ
    0x30EF, 0x30F3, 0x309B, 0x309C,                                  // ﾜﾝﾞﾟ
};
static_assert(sizeof kHalfWidthKana / sizeof kHalfWidthKana[0] == 0xFF9F - 0xFF61 + 1);

// U+FFE0..U+FFE6: ￠￡￢￣￤￥￦.
constexpr char32_t kFullWidthSigns[] = {0xA2, 0xA3, 0xAC, 0xAF, 0xA6, 0xA5, 0x20A9};

char32_t KeyOf(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;
  if (c == 0x3000) return 0x20;
  if (c >= 0xFFE0 && c <= 0xFFE6) return kFullWidthSigns[c - 0xFFE0];
  if (c >= 0xFF61 && c <= 0xFF9F) return kHalfWidthKana[c - 0xFF61];
  if ((c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E) return c + 0x60;
  return c;
}

// The voiced (or, with ﾟ, semi-voiced) form of full-width katakana `kana`;
// 0 for none.
char32_t Voiced(char32_t kana, char32_t mark) {
  const bool ha_row = kana == 0x30CF || kana == 0x30D2 || kana == 0x30D5 || kana == 0x30D8 ||
                      kana == 0x30DB;  // ハヒフヘホ
  if (mark == kSemiVoicedMark) return ha_row ? kana + 2 : 0;
  if (mark != kVoicedMark) return 0;
  if (ha_row) return kana + 1;
  if (kana >= 0x30AB && kana <= 0x30C8 && kana != 0x30C3) {  // カ..ト (not ッ): ガ..ド at +1
    return (kana - (kana < 0x30C3 ? 0x30AB : 0x30AC)) % 2 == 0 ? kana + 1 : 0;
  }
  switch (kana) {
    case 0x30A6: return 0x30F4;  // ウ ヴ
    case 0x30EF: return 0x30F7;  // ワ ヷ
    case 0x30F2: return 0x30FA;  // ヲ ヺ
    default: return 0;
  }
}

bool IsHalfWidthKana(char32_t c) { return c >= 0xFF66 && c <= 0xFF9D; }

// The one voiced character that half-width `kana` and `mark` spell; 0 for
// none.
char32_t HalfWidthPair(char32_t kana, char32_t mark) {
  return IsHalfWidthKana(kana) ? Voiced(KeyOf(kana), mark) : 0;
}

// One form of a key: one character, or a half-width voiced pair. A
// half-width kana that can take a mark counts only when no such mark
// follows it; a lone half-width mark only when no kana it voices precedes.
struct Form {
  std::u32string text;
  std::u32string not_before;  // characters that may not follow it
  std::u32string not_after;   // characters that may not precede it
  bool plain() const { return text.size() == 1 && not_before.empty() && not_after.empty(); }
};

using FormTable = std::map<char32_t, std::vector<Form>>;

const FormTable& Forms() {
  static const FormTable table = [] {
    std::vector<char32_t> members;
    for (char32_t c = 0x20; c <= 0x7E; ++c) members.push_back(c);
    for (const char32_t c : kFullWidthSigns) members.push_back(c);
    for (char32_t c = 0x3000; c <= 0x30FF; ++c) members.push_back(c);
    for (char32_t c = 0xFF01; c <= 0xFFE6; ++c) members.push_back(c);
    FormTable forms;
    // The pairs first: tried first, they take both characters.
    for (char32_t kana = 0xFF66; kana <= 0xFF9D; ++kana) {
      for (const char32_t mark : {kVoicedMark, kSemiVoicedMark}) {
        if (const char32_t voiced = HalfWidthPair(kana, mark)) forms[voiced].push_back({{kana, mark}, {}, {}});
      }
    }
    for (const char32_t c : members) {
      Form form{{c}, {}, {}};
      for (const char32_t mark : {kVoicedMark, kSemiVoicedMark}) {
        if (HalfWidthPair(c, mark)) form.not_before.push_back(mark);
      }
      if (c == kVoicedMark || c == kSemiVoicedMark) {
        for (char32_t kana = 0xFF66; kana <= 0xFF9D; ++kana) {
          if (HalfWidthPair(kana, c)) form.not_after.push_back(kana);
        }
      }
      forms[KeyOf(c)].push_back(form);
    }
    for (auto it = forms.begin(); it != forms.end();) {
      it = it->second.size() < 2 ? forms.erase(it) : std::next(it);
    }
    return forms;
  }();
  return table;
}

// The forms of `key`; empty when the key has one form only.
const std::vector<Form>& FormsOf(char32_t key) {
  static const std::vector<Form> none;
  const auto it = Forms().find(key);
  return it == Forms().end() ? none : it->second;
}

// ---------------------------------------------------------------------------
// Writing characters so that none is syntax.

bool IsAsciiAlnum(char32_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void AppendEscaped(char32_t c, std::string* out) {
  if (IsAsciiAlnum(c)) {
    out->push_back(static_cast<char>(c));
    return;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  char digits[8];
  int n = 0;
  do {
    digits[n++] = kHex[c & 0xF];
    c >>= 4;
  } while (c != 0);
  out->append("\\x{");
  while (n > 0) out->push_back(digits[--n]);
  out->push_back('}');
}

void AppendClass(std::u32string_view chars, bool negated, std::string* out) {
  out->push_back('[');
  if (negated) out->push_back('^');
  for (std::size_t i = 0; i < chars.size();) {
    std::size_t run = 1;  // a run of three or more becomes a range
    while (i + run < chars.size() && chars[i + run] == chars[i] + run) ++run;
    if (run < 3) run = 1;
    AppendEscaped(chars[i], out);
    if (run > 1) {
      out->push_back('-');
      AppendEscaped(chars[i + run - 1], out);
    }
    i += run;
  }
  out->push_back(']');
}

void AppendForm(const Form& form, std::string* out) {
  if (!form.not_after.empty()) {
    out->append("(?<!");
    AppendClass(form.not_after, false, out);
    out->push_back(')');
  }
  for (const char32_t c : form.text) AppendEscaped(c, out);
  if (!form.not_before.empty()) {
    out->append("(?!");
    AppendClass(form.not_before, false, out);
    out->push_back(')');
  }
}

// The forms as one atom: a class of the plain ones, the others (pairs
// first) as alternatives around it. `single_only` leaves out the pairs.
void AppendForms(const std::vector<Form>& forms, bool single_only, std::string* out) {
  std::u32string plain;
  std::vector<const Form*> others;
  for (const Form& form : forms) {
    if (form.plain()) {
      plain += form.text;
    } else if (!single_only || form.text.size() == 1) {
      others.push_back(&form);
    }
  }
  if (others.empty() && plain.size() == 1) {
    AppendEscaped(plain[0], out);
    return;
  }
  if (others.empty()) {
    AppendClass(plain, false, out);
    return;
  }
  out->append("(?:");
  bool first = true;
  const auto bar = [&] {
    if (!first) out->push_back('|');
    first = false;
  };
  for (const Form* form : others) {
    if (form->text.size() > 1) bar(), AppendForm(*form, out);
  }
  if (!plain.empty()) {
    bar();
    if (plain.size() == 1) {
      AppendEscaped(plain[0], out);
    } else {
      AppendClass(plain, false, out);
    }
  }
  for (const Form* form : others) {
    if (form->text.size() == 1) bar(), AppendForm(*form, out);
  }
  out->push_back(')');
}

// ---------------------------------------------------------------------------
// Reading UTF-8.

char32_t Decode(std::string_view text, std::size_t i, std::size_t* next, bool* bad) {
  *bad = false;
  const auto byte = static_cast<unsigned char>(text[i]);
  if (byte < 0x80) {
    *next = i + 1;
    return byte;
  }
  *next = i;
  return unicode_detail::DecodeUtf8(text, next, bad);
}

// ---------------------------------------------------------------------------
// Walking an expression as the engine reads it.

bool IsPatternSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0x200E || c == 0x200F ||
         c == 0x2028 || c == 0x2029;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

enum class EscapeKind {
  kLiteral,     // a backslash before a character that is no letter or digit
  kQuote,       // \Q
  kEndQuote,    // \E
  kClassLike,   // \d \D \s \S \w \W \h \H \v \V \p{..} \P{..}: a set, never a range's end
  kOther,       // every other escape: a character by its code, a reference, an assertion
};

struct Escape {
  EscapeKind kind;
  std::size_t length;  // in bytes, the backslash included
};

class PatternWalker {
 public:
  PatternWalker(std::string_view pattern, bool fold) : p_(pattern), fold_(fold) {}

  // The pattern, with the fold when it was asked for.
  std::string Run();

  // How the pattern ends: inside \Q, inside an extended-mode comment.
  bool ends_quoted() const { return quoted_; }
  bool ends_in_comment() const { return in_comment_; }

 private:
  struct Scope {
    bool extended = false;       // (?x)
    bool extended_more = false;  // (?xx): spaces and tabs in classes are ignored too
    bool lookbehind = false;     // inside a lookbehind, which keeps a fixed length
  };

  Scope& scope() { return scopes_.back(); }
  void Copy(std::size_t length) {
    out_.append(p_.substr(i_, length));
    i_ += length;
  }
  // Copies through the first `closer` from i_ + skip, or to the end.
  void CopyThrough(char closer, std::size_t skip) {
    const std::size_t end = p_.find(closer, std::min(i_ + skip, p_.size()));
    Copy(end == std::string_view::npos ? p_.size() - i_ : end + 1 - i_);
  }
  void Push(Scope scope) { scopes_.push_back(scope); }

  Escape EscapeAt(std::size_t i) const;
  void Literal(bool escaped_in_output);
  void Quoted();
  void Group();
  bool Options(std::size_t* length, Scope* scope) const;
  void Class();
  std::size_t PosixClassLength(std::size_t i) const;
  std::size_t QuantifierLength(std::size_t i) const;

  std::string_view p_;
  bool fold_;
  std::size_t i_ = 0;
  std::string out_;
  std::vector<Scope> scopes_{Scope{}};
  bool quoted_ = false;
  bool in_comment_ = false;
};

std::string PatternWalker::Run() {
  while (i_ < p_.size()) {
    in_comment_ = false;
    if (quoted_) {
      Quoted();
      continue;
    }
    const char c = p_[i_];
    if (c == '\\') {
      const Escape escape = EscapeAt(i_);
      if (escape.kind == EscapeKind::kQuote) {
        quoted_ = true;
        if (fold_) {
          i_ += 2;  // the quoted characters are written escaped
        } else {
          Copy(2);
        }
      } else if (escape.kind == EscapeKind::kLiteral) {
        ++i_;
        Literal(true);
      } else {
        Copy(escape.length);
      }
    } else if (c == '[') {
      Class();
    } else if (c == '(') {
      Group();
    } else if (c == ')') {
      if (scopes_.size() > 1) scopes_.pop_back();
      Copy(1);
    } else if (c == '{' && QuantifierLength(i_) != 0) {
      Copy(QuantifierLength(i_));
    } else if (c == '|' || c == '*' || c == '+' || c == '?' || c == '^' || c == '$' || c == '.') {
      Copy(1);
    } else if (scope().extended && c == '#') {
      const std::size_t end = p_.find_first_of("\r\n", i_);
      if (end == std::string_view::npos) {
        Copy(p_.size() - i_);
        in_comment_ = true;
      } else {
        Copy(end + 1 - i_);
      }
    } else {
      std::size_t next = 0;
      bool bad = false;
      const char32_t cp = Decode(p_, i_, &next, &bad);
      if (bad || (scope().extended && IsPatternSpace(cp))) {
        Copy(next - i_);
      } else {
        Literal(false);
      }
    }
  }
  return std::move(out_);
}

// The literal character at i_ (after its backslash, if it had one), with a
// half-width voiced mark that follows it when the two are one character.
void PatternWalker::Literal(bool escaped) {
  const std::size_t start = escaped ? i_ - 1 : i_;
  std::size_t next = 0;
  bool bad = false;
  const char32_t c = Decode(p_, i_, &next, &bad);
  if (bad || !fold_) {
    i_ = start;
    Copy(next - start);
    return;
  }
  std::size_t after = next;
  char32_t key = KeyOf(c);
  if (next < p_.size()) {
    bool bad_mark = false;
    const char32_t mark = Decode(p_, next, &after, &bad_mark);
    if (const char32_t voiced = bad_mark ? 0 : HalfWidthPair(c, mark)) {
      if (scope().lookbehind) {  // one form of one length: the pair as written
        i_ = start;
        Copy(after - start);
        return;
      }
      key = voiced;
    } else {
      after = next;
    }
  }
  const std::vector<Form>& forms = FormsOf(key);
  if (forms.empty()) {
    if (quoted_) {
      AppendEscaped(c, &out_);
      i_ = next;
    } else {
      i_ = start;
      Copy(next - start);
    }
    return;
  }
  AppendForms(forms, scope().lookbehind, &out_);
  i_ = after;
}

void PatternWalker::Quoted() {
  if (p_.compare(i_, 2, "\\E") == 0) {
    quoted_ = false;
    if (fold_) {
      i_ += 2;
    } else {
      Copy(2);
    }
    return;
  }
  Literal(false);
}

Escape PatternWalker::EscapeAt(std::size_t i) const {
  const std::size_t n = p_.size();
  if (i + 1 >= n) return {EscapeKind::kOther, n - i};
  const char c = p_[i + 1];
  const auto through = [&](char closer) -> Escape {
    const std::size_t end = p_.find(closer, i + 2);
    return {EscapeKind::kOther, end == std::string_view::npos ? n - i : end + 1 - i};
  };
  const auto with_digits = [&](std::size_t from, std::size_t most, bool (*digit)(char)) -> Escape {
    std::size_t j = from;
    while (j < n && j - from < most && digit(p_[j])) ++j;
    return {EscapeKind::kOther, j - i};
  };
  if (!IsAsciiLetter(c) && !IsDigit(c)) {
    std::size_t next = 0;
    bool bad = false;
    Decode(p_, i + 1, &next, &bad);
    return {EscapeKind::kLiteral, next - i};
  }
  const char brace = i + 2 < n ? p_[i + 2] : '\0';
  switch (c) {
    case 'Q': return {EscapeKind::kQuote, 2};
    case 'E': return {EscapeKind::kEndQuote, 2};
    case 'd': case 'D': case 's': case 'S': case 'w': case 'W':
    case 'h': case 'H': case 'v': case 'V':
      return {EscapeKind::kClassLike, 2};
    case 'p': case 'P': {
      if (brace == '{') return {EscapeKind::kClassLike, through('}').length};
      std::size_t next = std::min(i + 2, n);
      bool bad = false;
      if (next < n) Decode(p_, i + 2, &next, &bad);
      return {EscapeKind::kClassLike, next - i};
    }
    case 'x':
      if (brace == '{') return through('}');
      return with_digits(i + 2, 2, IsHexDigit);
    case 'o': case 'N':
      return brace == '{' ? through('}') : Escape{EscapeKind::kOther, 2};
    case 'c': {
      std::size_t next = std::min(i + 2, n);
      bool bad = false;
      if (next < n) Decode(p_, i + 2, &next, &bad);
      return {EscapeKind::kOther, next - i};
    }
    case 'g':
      if (brace == '{') return through('}');
      if (brace == '<') return through('>');
      if (brace == '\'') {
        const std::size_t end = p_.find('\'', i + 3);
        return {EscapeKind::kOther, end == std::string_view::npos ? n - i : end + 1 - i};
      }
      return with_digits(brace == '+' || brace == '-' ? i + 3 : i + 2, n, IsDigit);
    case 'k':
      if (brace == '{') return through('}');
      if (brace == '<') return through('>');
      if (brace == '\'') {
        const std::size_t end = p_.find('\'', i + 3);
        return {EscapeKind::kOther, end == std::string_view::npos ? n - i : end + 1 - i};
      }
      return {EscapeKind::kOther, 2};
    case '0':
      return with_digits(i + 2, 2, [](char d) { return d >= '0' && d <= '7'; });
    default:
      // \1..\9 and the digits after them: a backreference or an octal code,
      // either way no literal digit.
      if (IsDigit(c)) return with_digits(i + 1, n, IsDigit);
      return {EscapeKind::kOther, 2};
  }
}

bool IsGroupVerb(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "pla", "plb", "nla", "nlb", "napla", "naplb", "positive_lookahead", "negative_lookahead",
      "positive_lookbehind", "negative_lookbehind", "non_atomic_positive_lookahead",
      "non_atomic_positive_lookbehind", "atomic", "sr", "asr", "script_run", "atomic_script_run"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool IsLookbehindVerb(std::string_view name) {
  return name == "plb" || name == "nlb" || name == "naplb" || name == "positive_lookbehind" ||
         name == "negative_lookbehind" || name == "non_atomic_positive_lookbehind";
}

// An option setting at i_ ("(?i)", "(?x-i:", "(?^)"): its length through
// the ')' or ':' and the scope it makes.
bool PatternWalker::Options(std::size_t* length, Scope* scope) const {
  Scope set = *scope;
  bool unset = false;
  std::size_t j = i_ + 2;
  for (; j < p_.size(); ++j) {
    const char c = p_[j];
    if (c == ')' || c == ':') {
      *length = j + 1 - i_;
      *scope = set;
      return true;
    }
    if (c == '^') {
      set.extended = set.extended_more = false;
    } else if (c == '-') {
      unset = true;
    } else if (c == 'x') {
      if (unset) {
        set.extended = set.extended_more = false;
      } else {
        set.extended = true;
        if (j + 1 < p_.size() && p_[j + 1] == 'x') set.extended_more = true;
      }
      if (j + 1 < p_.size() && p_[j + 1] == 'x') ++j;
    } else if (!IsAsciiLetter(c)) {
      return false;
    }
  }
  return false;
}

void PatternWalker::Group() {
  const std::size_t n = p_.size();
  const char c1 = i_ + 1 < n ? p_[i_ + 1] : '\0';
  const char c2 = i_ + 2 < n ? p_[i_ + 2] : '\0';
  const char c3 = i_ + 3 < n ? p_[i_ + 3] : '\0';
  Scope inner = scope();
  if (c1 == '*') {
    std::size_t j = i_ + 2;
    while (j < n && (IsAsciiLetter(p_[j]) || p_[j] == '_')) ++j;
    const std::string_view name = p_.substr(i_ + 2, j - i_ - 2);
    if (j < n && p_[j] == ':' && IsGroupVerb(name)) {
      inner.lookbehind = inner.lookbehind || IsLookbehindVerb(name);
      Copy(j + 1 - i_);
      Push(inner);
    } else {
      CopyThrough(')', 2);  // a verb, or an option that opens the pattern
    }
    return;
  }
  if (c1 != '?') {
    Copy(1);
    Push(inner);
    return;
  }
  switch (c2) {
    case '#':
      CopyThrough(')', 3);
      return;
    case ':': case '|': case '>': case '=': case '!': case '*':
      Copy(3);
      Push(inner);
      return;
    case '<':
      if (c3 == '=' || c3 == '!' || c3 == '*') {
        inner.lookbehind = true;
        Copy(4);
      } else {
        CopyThrough('>', 3);  // (?<name>
      }
      Push(inner);
      return;
    case '\'':
      CopyThrough('\'', 3);
      Push(inner);
      return;
    case 'P':
      if (c3 == '<') {
        CopyThrough('>', 4);
        Push(inner);
      } else {
        CopyThrough(')', 3);  // (?P=name) (?P>name)
      }
      return;
    case '(':
      Push(inner);
      if (c3 == '?' || c3 == '*') {
        Copy(2);  // the condition is an assertion, a group of its own
      } else {
        CopyThrough(')', 3);
      }
      return;
    case 'C': {
      // A callout; its text argument may hold ')'.
      std::size_t j = i_ + 3;
      const char open = j < n ? p_[j] : '\0';
      const std::string_view delimiters = "`'\"^%#${";
      if (open != '\0' && delimiters.find(open) != std::string_view::npos) {
        const char close = open == '{' ? '}' : open;
        for (++j; j < n; ++j) {
          if (p_[j] != close) continue;
          if (j + 1 < n && p_[j + 1] == close) {
            ++j;
            continue;
          }
          break;
        }
      }
      CopyThrough(')', j - i_);
      return;
    }
    case 'R': case '&': case '+':
      CopyThrough(')', 3);
      return;
    default:
      break;
  }
  if (IsDigit(c2) || (c2 == '-' && IsDigit(c3))) {
    CopyThrough(')', 3);  // a recursion into a group
    return;
  }
  std::size_t length = 0;
  Scope set = inner;
  if (Options(&length, &set)) {
    const bool group = p_[i_ + length - 1] == ':';
    Copy(length);
    if (group) {
      Push(set);
    } else {
      scope().extended = set.extended;
      scope().extended_more = set.extended_more;
    }
    return;
  }
  Copy(2);  // not valid; the engine reports it on the original
  Push(inner);
}

std::size_t PatternWalker::QuantifierLength(std::size_t i) const {
  // {n} {n,} {n,m}; a later engine also reads {,m} and spaces inside, so
  // anything of that shape is left as written, never read as literals.
  int digits = 0, commas = 0;
  for (std::size_t j = i + 1; j < p_.size(); ++j) {
    const char c = p_[j];
    if (c == '}') return digits > 0 && commas <= 1 ? j + 1 - i : 0;
    if (IsDigit(c)) {
      ++digits;
    } else if (c == ',') {
      ++commas;
    } else if (c != ' ' && c != '\t') {
      return 0;
    }
  }
  return 0;
}

std::size_t PatternWalker::PosixClassLength(std::size_t i) const {
  if (i + 1 >= p_.size()) return 0;
  const char kind = p_[i + 1];
  if (kind != ':' && kind != '.' && kind != '=') return 0;
  for (std::size_t j = i + 2; j + 1 < p_.size(); ++j) {
    if (p_[j] == '\\' || p_[j] == ']' || p_[j] == '[') return 0;
    if (p_[j] == kind && p_[j + 1] == ']') return j + 2 - i;
  }
  return 0;
}

// A class, copied as written; with the fold, the equivalents of its single
// literal characters join it. They go in at its end, before the ']' or
// before a final literal '-' (after it they would make a range).
void PatternWalker::Class() {
  const std::size_t n = p_.size();
  if (p_.compare(i_, 7, "[[:<:]]") == 0 || p_.compare(i_, 7, "[[:>:]]") == 0) {
    Copy(7);
    return;
  }
  const std::size_t class_start = out_.size();
  Copy(1);
  const bool negated = i_ < n && p_[i_] == '^';
  if (negated) Copy(1);
  std::u32string literals;
  bool first = true;
  std::size_t hyphen_at = std::string::npos;  // a final literal '-', in out_
  // The character at `at`, its code point where it decodes: where it ends.
  const auto decode = [&](std::size_t at, bool* is_char, char32_t* literal) {
    std::size_t next = 0;
    bool bad = false;
    const char32_t c = Decode(p_, at, &next, &bad);
    *is_char = true;
    if (!bad) *literal = c;
    return next;
  };
  // One item at i_: whether it is a character (a range may start or end at
  // it), and the literal character when it is one.
  const auto item = [&](bool* is_char, char32_t* literal) {
    *is_char = false;
    *literal = 0;
    if (quoted_) {
      if (p_.compare(i_, 2, "\\E") == 0) {
        quoted_ = false;
        Copy(2);
        return;
      }
      Copy(decode(i_, is_char, literal) - i_);
      return;
    }
    if (p_[i_] == '[') {
      if (const std::size_t posix = PosixClassLength(i_)) {
        Copy(posix);
        return;
      }
    }
    if (p_[i_] == '\\') {
      const Escape escape = EscapeAt(i_);
      const std::size_t start = i_;
      Copy(escape.length);
      switch (escape.kind) {
        case EscapeKind::kQuote: quoted_ = true; return;
        case EscapeKind::kEndQuote: case EscapeKind::kClassLike: return;
        case EscapeKind::kOther: *is_char = true; return;
        case EscapeKind::kLiteral: decode(start + 1, is_char, literal); return;
      }
    }
    Copy(decode(i_, is_char, literal) - i_);
  };
  while (i_ < n) {
    if (!quoted_ && p_[i_] == ']' && !first) break;
    if (!quoted_ && scope().extended_more && (p_[i_] == ' ' || p_[i_] == '\t')) {
      Copy(1);
      continue;
    }
    first = false;
    const bool raw_hyphen = !quoted_ && p_[i_] == '-';
    const std::size_t item_at = out_.size();
    bool is_char = false;
    char32_t literal = 0;
    item(&is_char, &literal);
    hyphen_at = std::string::npos;
    if (is_char && !quoted_ && i_ + 1 < n && p_[i_] == '-' && p_[i_ + 1] != ']') {
      Copy(1);  // a range, left as written
      if (i_ < n) {
        bool end_is_char = false;
        char32_t end_literal = 0;
        item(&end_is_char, &end_literal);
      }
      continue;
    }
    if (raw_hyphen) hyphen_at = item_at;
    if (literal != 0 && literals.find(literal) == std::u32string::npos) literals.push_back(literal);
  }
  if (i_ >= n) return;  // never closed: not valid
  const std::size_t close_at = hyphen_at != std::string::npos ? hyphen_at : out_.size();
  Copy(1);
  if (!fold_) return;

  std::u32string singles;
  std::vector<const Form*> others;
  for (const char32_t c : literals) {
    for (const Form& form : FormsOf(KeyOf(c))) {
      const bool single = form.text.size() == 1;
      if (single && literals.find(form.text[0]) != std::u32string::npos) continue;
      if (single && (form.plain() || negated)) {
        if (singles.find(form.text[0]) == std::u32string::npos) singles += form.text[0];
      } else if (!negated && (single || !scope().lookbehind)) {
        if (std::find(others.begin(), others.end(), &form) == others.end()) others.push_back(&form);
      }
    }
  }
  if (singles.empty() && others.empty()) return;
  std::string extra;
  for (const char32_t c : singles) AppendEscaped(c, &extra);
  out_.insert(close_at, extra);
  if (others.empty()) return;
  std::string wrapped = "(?:";
  for (const Form* form : others) {
    if (form->text.size() > 1) AppendForm(*form, &wrapped), wrapped.push_back('|');
  }
  wrapped.append(out_, class_start, std::string::npos);
  for (const Form* form : others) {
    if (form->text.size() == 1) wrapped.push_back('|'), AppendForm(*form, &wrapped);
  }
  wrapped.push_back(')');
  out_.replace(class_start, std::string::npos, wrapped);
}

// One word character (each branch of one character, as a lookbehind needs).
constexpr std::string_view kWordCharacter =
    "[0-9_\\x{FF10}-\\x{FF19}]|[^\\P{L}\\P{Latin}]|[^\\P{L}\\P{Greek}]|[^\\P{L}\\P{Cyrillic}]";

// The length of the options that must open a pattern, "(*UCP)(*CR)".
std::size_t LeadingOptionsLength(std::string_view pattern) {
  static constexpr std::string_view kNames[] = {
      "UTF", "UCP", "NO_AUTO_POSSESS", "NO_DOTSTAR_ANCHOR", "NO_JIT", "NO_START_OPT",
      "NOTEMPTY", "NOTEMPTY_ATSTART", "LIMIT_HEAP", "LIMIT_MATCH", "LIMIT_DEPTH",
      "LIMIT_RECURSION", "CR", "LF", "CRLF", "ANYCRLF", "ANY", "NUL", "BSR_ANYCRLF",
      "BSR_UNICODE"};
  std::size_t i = 0;
  while (pattern.compare(i, 2, "(*") == 0) {
    std::size_t j = i + 2;
    while (j < pattern.size() && ((pattern[j] >= 'A' && pattern[j] <= 'Z') || pattern[j] == '_')) ++j;
    const std::string_view name = pattern.substr(i + 2, j - i - 2);
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) break;
    if (j < pattern.size() && pattern[j] == '=') {
      ++j;
      while (j < pattern.size() && IsDigit(pattern[j])) ++j;
    }
    if (j >= pattern.size() || pattern[j] != ')') break;
    i = j + 1;
  }
  return i;
}

}  // namespace

std::string LiteralPattern(std::string_view text, bool fold) {
  std::string out;
  out.reserve(text.size() * 4);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t next = 0;
    bool bad = false;
    const char32_t c = Decode(text, i, &next, &bad);
    if (bad) {
      out.append("(*FAIL)");
      i = next;
      continue;
    }
    if (!fold) {
      AppendEscaped(c, &out);
      i = next;
      continue;
    }
    char32_t key = KeyOf(c);
    if (next < text.size()) {
      std::size_t after = 0;
      bool bad_mark = false;
      const char32_t mark = Decode(text, next, &after, &bad_mark);
      if (const char32_t voiced = bad_mark ? 0 : HalfWidthPair(c, mark)) {
        key = voiced;
        next = after;
      }
    }
    const std::vector<Form>& forms = FormsOf(key);
    if (forms.empty()) {
      AppendEscaped(c, &out);
    } else {
      AppendForms(forms, false, &out);
    }
    i = next;
  }
  return out;
}

std::string FoldPattern(std::string_view pattern) { return PatternWalker(pattern, true).Run(); }

std::string WordPattern(std::string_view pattern) {
  const std::size_t head = LeadingOptionsLength(pattern);
  const std::string_view body = pattern.substr(head);
  PatternWalker walker(body, false);
  walker.Run();
  std::string out(pattern.substr(0, head));
  out.append("(?<!").append(kWordCharacter).append(")(?:").append(body);
  if (walker.ends_quoted()) out.append("\\E");
  if (walker.ends_in_comment()) out.push_back('\n');
  out.append(")(?!").append(kWordCharacter).append(")");
  return out;
}

}  // namespace vx
