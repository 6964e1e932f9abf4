#pragma once

// User-visible characters (grapheme clusters): what a person counts as one
// character, so "é" written as e + combining accent, a flag or a family emoji
// each count once. Length limits and cursor steps use these.

#include <string>
#include <vector>

namespace platform::ui {

std::vector<std::string> splitCharacters(const std::string& utf8);
size_t characterCount(const std::string& utf8);
// The first `count` characters of `utf8` (all of it when shorter).
std::string prefixCharacters(const std::string& utf8, size_t count);

}  // namespace platform::ui
