// (temporary until the pattern builders land)
#pragma once
#include <string>
#include <string_view>
namespace vx {
std::string LiteralPattern(std::string_view text, bool fold);
std::string FoldPattern(std::string_view pattern);
std::string WordPattern(std::string_view pattern);
}  // namespace vx
