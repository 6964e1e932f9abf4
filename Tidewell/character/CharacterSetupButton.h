#pragma once
// The dashboard's invitation to set the character up: a small figure and
// "Set Up Your Character", opening the character settings.

#include "ui/View.h"

namespace tidewell {

class AppStore;

platform::ui::View CharacterSetupButton(AppStore& store);

}  // namespace tidewell
