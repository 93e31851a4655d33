#include "platform/unicode.h"

#include <vector>

namespace vx {

namespace unicode_detail {

char32_t DecodeUtf8(std::string_view text, std::size_t* i, bool* bad) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(*i);
  std::size_t length = 0;
  char32_t c = 0, min = 0;
  if (lead < 0x80) {
    ++*i;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, min = 0x10000;
  }
  if (length != 0 && *i + length <= text.size()) {
    std::size_t k = 1;
    for (; k < length && (at(*i + k) & 0xC0) == 0x80; ++k) c = c << 6 | (at(*i + k) & 0x3F);
    if (k == length && c >= min && c <= 0x10FFFF && (c < 0xD800 || c >= 0xE000)) {
      *i += length;
      return c;
    }
  }
  *bad = true;
  ++*i;
  return kReplacementChar;
}

void EncodeUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | c >> 18));
    out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace unicode_detail

bool IsUtf8(std::string_view text) {
  std::u16string ignored;
  return AppendUtf16(text, &ignored, true);
}

namespace {

constexpr std::string_view kExtended = "\\\\?\\";
constexpr std::string_view kExtendedUnc = "\\\\?\\UNC\\";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDriveRoot(std::string_view path) {
  const char letter = static_cast<char>(path.empty() ? 0 : path[0] | 0x20);
  return path.size() >= 3 && letter >= 'a' && letter <= 'z' && path[1] == ':' && IsSeparator(path[2]);
}

// The components of `rest`, "." and empty ones gone, ".." taking the one
// before it (never reaching above the root), joined by backslashes.
std::string CleanComponents(std::string_view rest) {
  std::vector<std::string_view> parts;
  std::size_t at = 0;
  while (at <= rest.size()) {
    std::size_t end = at;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string_view part = rest.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) joined += '\\';
    joined += parts[i];
  }
  if (!rest.empty() && IsSeparator(rest.back()) && !joined.empty()) joined += '\\';
  return joined;
}

}  // namespace

std::string ExtendedPath(std::string_view path) {
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && (path[2] == '?' || path[2] == '.') &&
      IsSeparator(path[3])) {
    return std::string(path);
  }
  if (HasDriveRoot(path)) {
    return std::string(kExtended) + std::string(path.substr(0, 2)) + '\\' + CleanComponents(path.substr(3));
  }
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
    // \\server\share: the server and the share are no components to clean.
    std::size_t server_end = 2;
    while (server_end < path.size() && !IsSeparator(path[server_end])) ++server_end;
    std::size_t share_end = server_end + 1;
    while (share_end < path.size() && !IsSeparator(path[share_end])) ++share_end;
    if (server_end >= path.size() || share_end == server_end + 1) return std::string(path);
    std::string result = std::string(kExtendedUnc) + std::string(path.substr(2, server_end - 2)) + '\\' +
                         std::string(path.substr(server_end + 1, share_end - server_end - 1));
    if (share_end < path.size()) {
      const std::string rest = CleanComponents(path.substr(share_end + 1));
      result += '\\';
      result += rest;
    }
    return result;
  }
  return std::string(path);
}

std::string PlainPath(std::string_view path) {
  if (path.substr(0, kExtendedUnc.size()) == kExtendedUnc) {
    return "\\\\" + std::string(path.substr(kExtendedUnc.size()));
  }
  if (path.substr(0, kExtended.size()) == kExtended) return std::string(path.substr(kExtended.size()));
  return std::string(path);
}

}  // namespace vx
