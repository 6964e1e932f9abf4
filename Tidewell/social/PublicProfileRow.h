#pragma once
// The address of the user's public profile, with open, copy and share.

#include <string>

#include "ui/View.h"

namespace tidewell {

// The label of a profile address: the address without "https://".
std::string profileLinkLabel(const std::string& url);

platform::ui::View PublicProfileRow(const std::string& url);

}  // namespace tidewell
