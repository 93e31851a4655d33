#include "targets/path_text.h"

namespace vx {

namespace {

// Length of the character that starts at `i`: 2 for a lead byte followed by
// a second byte, 1 otherwise (a lead byte at the very end stands alone).
std::size_t CharLength(std::string_view text, std::size_t i, const LeadBytes& lead) {
  return lead.IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::size_t FindNextBackslash(std::string_view path, std::size_t from, const LeadBytes& lead) {
  for (std::size_t i = from; i < path.size(); i += CharLength(path, i, lead)) {
    if (path[i] == '\\') return i;
  }
  return std::string_view::npos;
}

std::size_t FindLastBackslash(std::string_view path, const LeadBytes& lead) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharLength(path, i, lead)) {
    if (path[i] == '\\') last = i;
  }
  return last;
}

bool EndsWithBackslash(std::string_view path, const LeadBytes& lead) {
  return !path.empty() && FindLastBackslash(path, lead) == path.size() - 1;
}

std::string JoinPath(std::string_view folder, std::string_view name, const LeadBytes& lead) {
  std::string joined(folder);
  if (!EndsWithBackslash(folder, lead)) joined += '\\';
  joined += name;
  return joined;
}

std::string FolderOf(std::string_view path, const LeadBytes& lead) {
  const std::size_t slash = FindLastBackslash(path, lead);
  if (slash == std::string_view::npos) return std::string();
  const bool drive_root = slash == 2 && path[1] == ':';
  return std::string(path.substr(0, drive_root ? slash + 1 : slash));
}

}  // namespace vx
