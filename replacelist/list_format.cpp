#include "replacelist/list_format.h"

#include <utility>

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

}  // namespace vx
