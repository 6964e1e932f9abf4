#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Color.h"

namespace tidewell {

// The engine's stack ids the vocabulary knows, in lookup order. Matching is
// exact (case-sensitive); any other id takes each table's fallback.
const std::vector<std::string_view>& knownStackIds();

// "Flutter", "Node / JS", …; an unknown id reads as its words, each capitalised
// ("tool_chain" → "Tool Chain"); an empty id gives an empty name.
std::string stackDisplayName(std::string_view id);
// The stack's accent colour (filter tokens, project list and cards, storage tree).
platform::ui::Color stackTint(std::string_view id);
// The tint of the stack icon's symbol fallback, used only by the stack icon.
platform::ui::Color stackIconTint(std::string_view id);
// A system symbol name for the stack; "square.fill" for an unknown id.
std::string stackSymbol(std::string_view id);

// Shows the path selected in the file manager; when it is gone, its parent
// folder; when that is gone too, nothing. When the desktop cannot show it, or
// the folder does not answer, the store's banner says so. The path is looked
// at off the main thread; `done` runs on the main thread once the reveal was
// asked for, or left.
void revealInFinder(const std::string& path, std::function<void()> done = {});

// The platform's word capitalisation: the first letter of every
// whitespace-separated word upper case, the rest lower case.
std::string capitalizedWords(std::string_view text);

}  // namespace tidewell
