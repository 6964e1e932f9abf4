#pragma once

// Alerts and confirmation dialogs: a title, an optional message and
// buttons, modal over the window. Each button runs its action and closes;
// Escape runs the cancel button (or just closes when there is none); Return
// runs the first button that is not a cancel button.

#include "ui/Button.h"

#include <string>
#include <vector>

namespace platform::ui {

struct AlertButton {
    std::string title;
    std::function<void()> action;
    ButtonRole role = ButtonRole::none;
};

std::function<View(const View&)> alert(std::string title, Binding<bool> isPresented, std::vector<AlertButton> buttons,
                                       std::string message = {});
std::function<View(const View&)> confirmationDialog(std::string title, Binding<bool> isPresented,
                                                    std::vector<AlertButton> buttons, std::string message = {});

}  // namespace platform::ui
