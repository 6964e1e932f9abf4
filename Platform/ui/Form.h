#pragma once

// The grouped form of settings panes: sections of rows on rounded cards,
// each with an optional header above and footer below. Inside a form,
// labelled controls (toggles, pickers, steppers, `LabeledContent`) put their
// control at the trailing edge of the row.

#include "ui/View.h"

#include <string>

namespace platform::ui {

struct SectionParts {
    View header;  // empty view: none
    View footer;
};

View Section(ViewList rows, SectionParts parts = {});
View Section(std::string header, ViewList rows, std::string footer = {});

// A scrolling column of sections.
View Form(ViewList sections);

}  // namespace platform::ui
