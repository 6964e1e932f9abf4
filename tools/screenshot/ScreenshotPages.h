#pragma once

// The pages the screenshot program can render. A file beside the program
// adds its own with a registrar:
//
//   static const ScreenshotPage dashboard("dashboard", [] { return DashboardPage(store()); });
//
// Every .cpp in this folder is compiled into the program, so no list needs editing.

#include "ui/View.h"

#include <functional>
#include <map>
#include <set>
#include <string>

using PageFunction = std::function<platform::ui::View()>;

std::map<std::string, PageFunction>& screenshotPages();
// Pages that show a web page, which draws only in a real window (--window).
std::set<std::string>& windowOnlyPages();

struct ScreenshotPage {
    ScreenshotPage(const std::string& name, PageFunction page, bool showsWebPage = false) {
        screenshotPages()[name] = std::move(page);
        if (showsWebPage) windowOnlyPages().insert(name);
    }
};
