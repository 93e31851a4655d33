#include "targets/target_index.h"

#include "targets/path_text.h"

namespace vx {

bool TargetIndex::Insert(std::string_view path) { return keys_.insert(FoldPathKey(path, lead_)).second; }

bool TargetIndex::Contains(std::string_view path) const { return keys_.count(FoldPathKey(path, lead_)) != 0; }

void TargetIndex::Erase(std::string_view path) { keys_.erase(FoldPathKey(path, lead_)); }

}  // namespace vx
