#pragma once
// The card that offers to share a fresh clean: the bytes reclaimed and from
// how many projects, "Not Now" and "Share".

#include <cstdint>
#include <string>

#include "social/ShareMoment.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// "reclaimed from 1 project", "reclaimed from 0 projects", …
std::string sharePromptProjectsLine(std::int64_t projectCount);

platform::ui::View SharePromptCard(AppStore& store, const ShareMoment& moment);

}  // namespace tidewell
