#pragma once

#include <string>
#include <string_view>

namespace platform {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// `text` without the platform's whitespace at either end: the tab and every
// space separator (U+0020, U+00A0, U+1680, U+2000 to U+200A, U+202F, U+205F,
// U+3000). Newlines are not whitespace here and stay.
std::string trimmedOfWhitespace(std::string_view text);

}  // namespace platform
