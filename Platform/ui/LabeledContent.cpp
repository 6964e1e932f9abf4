#include "ui/LabeledContent.h"

#include "ui/Text.h"

namespace platform::ui {

View LabeledContent(View label, View content)
{
    return EnvironmentReader([label, content](const EnvironmentValues& env) {
        if (env.get<InFormKey>())
            return HStack(VerticalAlignment::center, 8, {label, Spacer(), content});
        return HStack(VerticalAlignment::center, 8, {label, content});
    });
}

View LabeledContent(std::string label, View content) { return LabeledContent(Text(std::move(label)), std::move(content)); }

}  // namespace platform::ui
