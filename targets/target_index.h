// The paths of the target list, filed under their case-folded key, so that
// the duplicate test of an add costs one lookup whatever the list's length.
// The list box holds the entries; this index is kept in step with it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/encoding.h"

namespace vx {

class TargetIndex {
 public:

  // Files `path`; false if a path with the same key is already there.
  bool Insert(std::string_view path);
  // Whether a path with the same key is there: the same file, whatever the
  // letter case of its name.
  bool Contains(std::string_view path) const;
  void Erase(std::string_view path);
  void Clear() { keys_.clear(); }
  std::size_t size() const { return keys_.size(); }

 private:
  std::unordered_set<std::string> keys_;
};

}  // namespace vx
