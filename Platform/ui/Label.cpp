#include "ui/Label.h"

#include "ui/Image.h"
#include "ui/Text.h"

namespace platform::ui {

View Label(View title, View icon)
{
    return EnvironmentReader([title, icon](const EnvironmentValues& env) {
        switch (env.get<LabelStyleKey>()) {
        case LabelStyle::titleOnly: return title;
        case LabelStyle::iconOnly: return icon;
        case LabelStyle::titleAndIcon: break;
        }
        return HStack(VerticalAlignment::center, 6, {icon, title});
    });
}

View Label(std::string title, std::string systemImage)
{
    // The title names the element even when only the icon shows.
    return Label(Text(title), Image::systemName(systemImage))
        .accessibilityElement(AccessibilityChildBehavior::ignore)
        .accessibilityLabel(title);
}

std::function<View(const View&)> labelStyle(LabelStyle style)
{
    return [style](const View& v) { return v.environment<LabelStyleKey>(style); };
}

}  // namespace platform::ui
