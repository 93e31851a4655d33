#include "replacelist/list_format.h"

#include <algorithm>
#include <utility>

#include "platform/unicode.h"

namespace vx {

namespace {
constexpr char kEndOfFile = 0x1A;
constexpr std::size_t kReadChunk = 4096;
}  // namespace

void ListTextSplitter::Append(char c) {
  in_line_ = true;
  if (c == '\0') {
    cut_ = true;
  } else if (!cut_) {
    line_.push_back(c);
  }
}

void ListTextSplitter::EndLine(std::vector<std::string>* texts) {
  texts->push_back(std::move(line_));
  line_.clear();
  in_line_ = false;
  cut_ = false;
}

void ListTextSplitter::Feed(std::string_view bytes, std::vector<std::string>* texts) {
  for (char c : bytes) {
    if (ended_) return;
    if (pending_cr_) {
      pending_cr_ = false;
      if (c == '\n') {
        EndLine(texts);
        continue;
      }
      Append('\r');
    }
    if (c == kEndOfFile) {
      ended_ = true;
    } else if (c == '\r') {
      pending_cr_ = true;
      in_line_ = true;
    } else if (c == '\n') {
      EndLine(texts);
    } else {
      Append(c);
    }
  }
}

void ListTextSplitter::Finish(std::vector<std::string>* texts) {
  if (pending_cr_) {
    pending_cr_ = false;
    Append('\r');
  }
  if (in_line_) EndLine(texts);
  ended_ = true;
}

std::vector<std::string> SplitListTexts(std::string_view bytes) {
  std::vector<std::string> texts;
  ListTextSplitter splitter;
  splitter.Feed(bytes, &texts);
  splitter.Finish(&texts);
  return texts;
}

platform::SysError ReadListTexts(const ListChunkReader& read, std::vector<std::string>* texts) {
  ListTextSplitter splitter;
  std::string buffer(kReadChunk, '\0');
  while (!splitter.ended()) {
    std::size_t got = 0;
    if (platform::SysError error = read(buffer.data(), buffer.size(), &got); error != platform::kOk) {
      return error;  // an unfinished last line is not a text
    }
    if (got == 0) break;
    splitter.Feed(std::string_view(buffer.data(), got), texts);
  }
  splitter.Finish(texts);
  return platform::kOk;
}

ListColumns PairTextsForComboBoxes(const std::vector<std::string>& texts) {
  ListColumns columns;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    (i % 2 == 0 ? columns.search : columns.replace).push_back(texts[i]);
  }
  return columns;
}

std::vector<ListPair> PairTextsForEditor(const std::vector<std::string>& texts) {
  std::vector<ListPair> rows;
  for (std::size_t i = 0; i < texts.size(); i += 2) {
    rows.push_back({texts[i], i + 1 < texts.size() ? texts[i + 1] : std::string()});
  }
  return rows;
}

std::size_t FindUnstorableByte(std::string_view text) {
  constexpr char kUnstorable[] = {'\n', kEndOfFile, '\0'};
  return text.find_first_of(std::string_view(kUnstorable, sizeof kUnstorable));
}

std::string SerializeReplaceList(const std::vector<ListPair>& rows) {
  std::string bytes;
  for (const ListPair& row : rows) {
    bytes.append(row.search).append("\r\n").append(row.replace).append("\r\n");
  }
  return bytes;
}

// ------------------------------------------------------------ code pages

namespace {

// The length of the character that starts at text[i] as its code page's
// lead byte tells it (what is left, at most); whether those bytes are one
// character is for the conversion to say.
std::size_t CharLengthIn(std::string_view text, std::size_t i, CodePage code_page, const LeadBytes& lead) {
  std::size_t n = 1;
  if (code_page == CodePage::kUtf8) {
    const auto b = static_cast<unsigned char>(text[i]);
    n = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
  } else {
    n = CharLength(text, i, lead);
  }
  return std::min(n, text.size() - i);
}

// Whether `bytes` are characters of `code_page` (convert into Unicode).
bool AreCharacters(std::string_view bytes, CodePage code_page) {
  if (code_page == CodePage::kUtf8) return IsUtf8(bytes);
  std::string units;
  return ConvertText(bytes, code_page, CodePage::kUtf16Le, &units);
}

}  // namespace

bool HoldText(std::string_view text, CodePage from, CodePage to, std::string* out) {
  out->clear();
  const bool checked = from == CodePage::kUtf8 && to == CodePage::kUtf8;
  if (checked ? IsUtf8(text) : ConvertText(text, from, to, out)) {
    if (checked) out->assign(text);
    return true;
  }
  // Character by character: each that converts is kept.
  const std::string_view filler = to == CodePage::kUtf8 ? std::string_view("\xEF\xBF\xBD") : std::string_view("?");
  out->clear();
  const TextWalk walk = WalkOf(from);
  std::string piece;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = CharLengthIn(text, i, from, walk.lead());
    const std::string_view character = text.substr(i, n);
    const bool valid = AreCharacters(character, from);
    if (valid && (checked || ConvertText(character, from, to, &piece))) {
      out->append(checked ? character : std::string_view(piece));
      i += n;
      continue;
    }
    out->append(filler);
    // A character with no form in `to` is one filler; a byte that begins
    // none is one too, and what follows it is looked at anew.
    i += valid ? n : 1;
  }
  return false;
}

void ListFileDecoder::Feed(std::string_view bytes, ListTexts* out) {
  if (!head_known_) {
    // The mark is looked for in the first three bytes, however they come.
    const std::size_t take = std::min(kUtf8Mark.size() - head_.size(), bytes.size());
    head_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (head_.size() < kUtf8Mark.size() && kUtf8Mark.starts_with(head_)) return;
    head_known_ = true;
    if (head_ == kUtf8Mark) {
      out->file = CodePage::kUtf8;
    } else {
      out->file = CodePage::kCp932;
      FeedText(head_, out);
    }
    head_.clear();
  }
  FeedText(bytes, out);
}

void ListFileDecoder::Finish(ListTexts* out) {
  if (!head_known_) {  // a file shorter than the mark
    head_known_ = true;
    out->file = CodePage::kCp932;
    FeedText(head_, out);
    head_.clear();
  }
  splitter_.Finish(&split_);
  HoldNewTexts(out);
}

void ListFileDecoder::FeedText(std::string_view bytes, ListTexts* out) {
  if (bytes.empty()) return;
  splitter_.Feed(bytes, &split_);
  HoldNewTexts(out);
}

void ListFileDecoder::HoldNewTexts(ListTexts* out) {
  for (std::string& text : split_) {
    std::string held;
    if (!HoldText(text, out->file, held_, &held)) out->inexact.push_back(out->texts.size());
    out->texts.push_back(std::move(held));
  }
  split_.clear();
}

ListTexts DecodeListFile(std::string_view bytes, CodePage held) {
  ListTexts out;
  ListFileDecoder decoder(held);
  decoder.Feed(bytes, &out);
  decoder.Finish(&out);
  return out;
}

platform::SysError ReadListFile(const ListChunkReader& read, CodePage held, ListTexts* out) {
  ListFileDecoder decoder(held);
  std::string buffer(kReadChunk, '\0');
  while (!decoder.ended()) {
    std::size_t got = 0;
    if (platform::SysError error = read(buffer.data(), buffer.size(), &got); error != platform::kOk) {
      return error;  // an unfinished last line is not a text
    }
    if (got == 0) break;
    decoder.Feed(std::string_view(buffer.data(), got), out);
  }
  decoder.Finish(out);
  return platform::kOk;
}

std::string StoredTextBytes(std::string_view text, CodePage held) {
  std::string bytes;
  if (ConvertText(text, held, CodePage::kCp932, &bytes)) return bytes;
  std::string utf8;
  HoldText(text, held, CodePage::kUtf8, &utf8);
  bytes.assign(kUtf8Mark);
  bytes += utf8;
  return bytes;
}

std::string EncodeReplaceList(const std::vector<ListPair>& rows, CodePage held) {
  return StoredTextBytes(SerializeReplaceList(rows), held);
}

}  // namespace vx
