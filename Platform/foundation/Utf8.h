#pragma once

#include <string_view>

namespace platform {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace platform
