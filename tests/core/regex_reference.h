// A small backtracking matcher for the common part of the expression syntax,
// on code points: the model the engine's expressions are checked against.
// Literals, ".", classes with ranges and negation, \d \w \s \D \W \S,
// * + ? {m} {m,} {m,n} and their lazy forms, ( ) and (?: ), |, ^ and $ with
// the program's line rules, and the global replacement with Perl's rules for
// empty matches. Written for clarity, not speed: texts of a few characters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::reference {

class Regex {
 public:
  // A piece of a replacement: text, or a group (0: the whole match).
  struct Part {
    std::u32string text;
    int group = -1;
  };

  explicit Regex(std::u32string_view pattern, bool ignore_case = false) : p_(pattern), ignore_case_(ignore_case) {
    top_ = Alternatives();
    ok_ = ok_ && i_ == p_.size();
  }
  bool valid() const { return ok_; }
  int groups() const { return groups_; }

  // Every match replaced, left to right without overlaps. After an empty
  // match the next may not be empty at the same place, and no empty match
  // falls between the CR and the LF of a line end.
  std::u32string ReplaceAll(const std::u32string& text, const std::vector<Part>& replacement,
                            std::int64_t* count) const {
    Matcher m{this, text, {}};
    std::u32string out;
    std::size_t pos = 0, emitted = 0;
    bool after_empty = false;
    while (pos <= text.size()) {
      std::size_t begin = pos, end = 0;
      const auto accept = [&](std::size_t e) {
        if (e == begin && (m.Between(begin) || (after_empty && begin == pos))) return false;
        end = e;
        return true;
      };
      for (; begin <= text.size(); ++begin) {
        m.caps.assign(groups_ + 1, {-1, -1});
        if (m.Alts(top_, begin, accept)) break;
      }
      if (begin > text.size()) break;
      m.caps[0] = {static_cast<long>(begin), static_cast<long>(end)};
      out.append(text, emitted, begin - emitted);
      for (const Part& part : replacement) {
        if (part.group < 0) out += part.text;
        else if (m.caps[part.group].first >= 0)
          out.append(text, m.caps[part.group].first, m.caps[part.group].second - m.caps[part.group].first);
      }
      ++*count;
      emitted = pos = end;
      after_empty = begin == end;
    }
    return out + text.substr(emitted);
  }

 private:
  struct Node {
    enum Kind { kChar, kAny, kClass, kBol, kEol, kGroup, kRepeat } kind = kChar;
    char32_t c = 0;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // a class's characters and ranges
    std::u32string escapes;                             // a class's \d \w \s \D \W \S, by letter
    bool negated = false;
    int capture = -1;                              // a group's number; -1: none
    std::vector<std::vector<Node>> alternatives;  // a group's; a repeat's one node
    int min = 0, max = -1;                         // a repeat's bounds; -1: none
    bool lazy = false;
  };
  using Cont = std::function<bool(std::size_t)>;

  // Unicode's classes as far as the differential texts go: above ASCII they
  // hold kana and kanji (letters), the ideographic space and the full-width 0.
  static bool Digit(char32_t c) { return (c >= '0' && c <= '9') || c == 0xFF10; }
  static bool Space(char32_t c) { return c == ' ' || (c >= 9 && c <= 13) || c == 0x3000; }
  static bool Word(char32_t c) {
    return c == '_' || Digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0x80 && !Space(c));
  }
  static bool Escape(char32_t e, char32_t c) {
    switch (e) {
      case 'd': return Digit(c);
      case 'w': return Word(c);
      case 's': return Space(c);
      case 'D': return !Digit(c);
      case 'W': return !Word(c);
      default: return !Space(c);
    }
  }
  static char32_t Other(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
  }

  // The parser: sets ok_ false on anything outside the subset.
  bool Peek(char32_t c) const { return i_ < p_.size() && p_[i_] == c; }
  bool Take(char32_t c) { return Peek(c) && ++i_; }
  std::vector<std::vector<Node>> Alternatives() {
    std::vector<std::vector<Node>> alts(1);
    while (ok_ && i_ < p_.size() && !Peek(')')) {
      if (Take('|')) alts.emplace_back();
      else alts.back().push_back(Quantified());
    }
    return alts;
  }
  int Number() {
    int n = 0;
    while (i_ < p_.size() && p_[i_] >= '0' && p_[i_] <= '9') n = n * 10 + static_cast<int>(p_[i_++] - '0');
    return n;
  }
  Node Quantified() {
    Node atom = Atom();
    Node r;
    r.kind = Node::kRepeat;
    if (Take('*')) r.max = -1;
    else if (Take('+')) r.min = 1;
    else if (Take('?')) r.max = 1;
    else if (Take('{')) {
      r.min = r.max = Number();
      if (Take(',')) r.max = Peek('}') ? -1 : Number();
      ok_ = ok_ && Take('}');
    } else return atom;
    r.lazy = Take('?');
    ok_ = ok_ && atom.kind != Node::kBol && atom.kind != Node::kEol;
    r.alternatives = {{std::move(atom)}};
    return r;
  }
  char32_t Escaped() {
    const char32_t e = i_ < p_.size() ? p_[i_++] : 0;
    if (e == 'r' || e == 'n' || e == 't') return e == 'r' ? '\r' : e == 'n' ? '\n' : '\t';
    const bool alnum = (e >= '0' && e <= '9') || (e >= 'a' && e <= 'z') || (e >= 'A' && e <= 'Z');
    ok_ = ok_ && e != 0 && !alnum;
    return e;
  }
  // Whether p_[at] is one of the letters of \d \w \s \D \W \S.
  bool ClassLetter(std::size_t at) const {
    return at < p_.size() && std::u32string_view(U"dwsDWS").find(p_[at]) != std::u32string_view::npos;
  }
  Node Atom() {
    Node n;
    if (i_ >= p_.size()) return ok_ = false, n;
    const char32_t c = p_[i_++];
    if (c == '(') {
      n.kind = Node::kGroup;
      if (Take('?')) ok_ = ok_ && Take(':');
      else n.capture = ++groups_;
      n.alternatives = Alternatives();
      ok_ = ok_ && Take(')');
    } else if (c == '[') {
      n.kind = Node::kClass;
      n.negated = Take('^');
      do {
        if (Peek('\\') && ClassLetter(i_ + 1)) {
          n.escapes += p_[i_ + 1];
          i_ += 2;
          continue;
        }
        const char32_t a = i_ < p_.size() && Take('\\') ? Escaped() : i_ < p_.size() ? p_[i_++] : 0;
        char32_t b = a;
        if (i_ + 1 < p_.size() && Peek('-') && p_[i_ + 1] != ']') {
          ++i_;
          b = Take('\\') ? Escaped() : p_[i_++];
        }
        ok_ = ok_ && a != 0 && a <= b;
        n.ranges.emplace_back(a, b);
      } while (ok_ && i_ < p_.size() && !Peek(']'));
      ok_ = ok_ && Take(']');
    } else if (c == '\\' && ClassLetter(i_)) {
      n.kind = Node::kClass;
      n.escapes = p_[i_++];
    } else if (c == '\\') {
      n.c = Escaped();
    } else if (c == '.' || c == '^' || c == '$') {
      n.kind = c == '.' ? Node::kAny : c == '^' ? Node::kBol : Node::kEol;
    } else {
      ok_ = ok_ && c != '*' && c != '+' && c != '?' && c != '{' && c != ')' && c != ']';
      n.c = c;
    }
    return n;
  }

  // One match attempt's state: the text and the groups so far.
  struct Matcher {
    const Regex* re;
    const std::u32string& t;
    std::vector<std::pair<long, long>> caps;

    static bool LineEnd(char32_t c) { return c == '\r' || c == '\n'; }
    bool Between(std::size_t p) const { return p > 0 && p < t.size() && t[p - 1] == '\r' && t[p] == '\n'; }
    bool InClass(const Node& n, char32_t c) const {
      bool in = false;
      for (const char32_t e : n.escapes) in = in || Escape(e, c);
      for (const auto& [a, b] : n.ranges)
        in = in || (a <= c && c <= b) || (re->ignore_case_ && a <= Other(c) && Other(c) <= b);
      return in != n.negated;
    }
    bool One(const Node& n, std::size_t p, const Cont& k) {
      const bool more = p < t.size();
      switch (n.kind) {
        case Node::kChar: return more && (t[p] == n.c || (re->ignore_case_ && Other(t[p]) == n.c)) && k(p + 1);
        case Node::kAny: return more && !LineEnd(t[p]) && k(p + 1);
        case Node::kClass: return more && InClass(n, t[p]) && k(p + 1);
        case Node::kBol: return (p == 0 || (more && LineEnd(t[p - 1]) && !Between(p))) && k(p);
        case Node::kEol: return (!more || (LineEnd(t[p]) && !Between(p))) && k(p);
        case Node::kGroup:
          return Alts(n.alternatives, p, [&](std::size_t e) {
            if (n.capture < 0) return k(e);
            const auto saved = caps[n.capture];
            caps[n.capture] = {static_cast<long>(p), static_cast<long>(e)};
            if (k(e)) return true;
            caps[n.capture] = saved;
            return false;
          });
        default: return Repeat(n, 0, p, k);
      }
    }
    // Iterations past the least that match nothing end the loop (as PCRE2).
    bool Repeat(const Node& n, int done, std::size_t p, const Cont& k) {
      const auto again = [&] {
        return (n.max < 0 || done < n.max) && One(n.alternatives[0][0], p, [&](std::size_t e) {
                 return e == p && done >= n.min ? k(e) : Repeat(n, done + 1, e, k);
               });
      };
      if (done < n.min) return again();
      return n.lazy ? k(p) || again() : again() || k(p);
    }
    bool Seq(const std::vector<Node>& seq, std::size_t i, std::size_t p, const Cont& k) {
      if (i == seq.size()) return k(p);
      return One(seq[i], p, [&](std::size_t e) { return Seq(seq, i + 1, e, k); });
    }
    bool Alts(const std::vector<std::vector<Node>>& alts, std::size_t p, const Cont& k) {
      for (const auto& seq : alts)
        if (Seq(seq, 0, p, k)) return true;
      return false;
    }
  };

  std::u32string_view p_;
  bool ignore_case_;
  std::size_t i_ = 0;
  bool ok_ = true;
  int groups_ = 0;
  std::vector<std::vector<Node>> top_;
};

}  // namespace vx::reference
