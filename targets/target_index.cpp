#include "targets/target_index.h"

#include "targets/path_text.h"

namespace vx {

bool TargetIndex::Insert(std::string_view path) { return keys_.insert(FoldPathKey(path)).second; }

bool TargetIndex::Contains(std::string_view path) const { return keys_.count(FoldPathKey(path)) != 0; }

void TargetIndex::Erase(std::string_view path) { keys_.erase(FoldPathKey(path)); }

}  // namespace vx
