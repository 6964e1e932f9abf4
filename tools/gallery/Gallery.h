#pragma once

#include "ui/Controls.h"

#include <functional>
#include <string>

namespace gallery {

// Everything the gallery's controls change.
struct GalleryState {
    bool soundOn = true;
    bool busy = false;
    std::string period = "weekly";
    std::string pane = "general";
    int days = 3;
    double level = 40;
    std::string search;
    std::string heading = "I moved 2.4 GB of build folders to the Trash today, and my disk can breathe again";
    int presses = 0;
    bool sheetShown = false;
    bool popoverShown = false;
    bool alertShown = false;
    bool dialogShown = false;
    bool promptShown = true;
    bool bannerShown = true;
    int selectedRow = 0;
    long long reclaimed = 1234;
    int bounces = 0;
    std::string lastAction = "—";
    bool idleOnly = true;
    bool compactSwitch = false;
    int rowsShown = 0;  // lazy rows that appeared

    std::function<void()> changed;  // asks the window for a rebuild
};

platform::ui::View galleryView(GalleryState& state);

}  // namespace gallery
