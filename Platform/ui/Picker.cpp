#include "ui/Picker.h"

#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/LabeledContent.h"
#include "ui/Menu.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace platform::ui {

namespace {

View segmented(Binding<std::string> selection, const std::vector<PickerOption>& options, bool enabled)
{
    const std::string current = selection.get();
    ViewList segments;
    for (const PickerOption& o : options) {
        const bool selected = o.tag == current;
        View seg = Text(o.title)
                       .font(selected ? Font::body().weight(FontWeight::medium) : Font::body())
                       .lineLimit(1)
                       .padding(EdgeInsets{2, 10, 2, 10})
                       .frame(FrameSpec{.minHeight = 22})
                       .background(ViewIf(selected, RoundedRectangle(5).fill(Color::dynamic(Color::white(), Color::white(1, 0.24)))
                                                        .shadow(Color::white(0, 0.15), 1, 0, 0.5)))
                       .contentShape(Rectangle())
                       .accessibilityElement(AccessibilityChildBehavior::combine)
                       .accessibilityAddTraits(selected ? AccessibilityTrait::selected : AccessibilityTrait::button)
                       .onTapGesture([selection, tag = o.tag] { selection.set(tag); });
        segments.push_back(seg);
    }
    View bar = HStack(VerticalAlignment::center, 2, segments)
                   .padding(2)
                   .background(RoundedRectangle(7).fill(Color::dynamic(Color::white(0, 0.07), Color::white(1, 0.1))));
    return enabled ? bar : bar.opacity(0.5);
}

View menuFace(Binding<std::string> selection, const std::vector<PickerOption>& options)
{
    const std::string current = selection.get();
    std::string title;
    std::vector<MenuItem> items;
    for (const PickerOption& o : options) {
        if (o.tag == current) title = o.title;
        MenuItem item;
        item.title = o.title;
        item.checked = o.tag == current;
        item.action = [selection, tag = o.tag] { selection.set(tag); };
        items.push_back(item);
    }
    View face = HStack(VerticalAlignment::center, 6, {Text(title).lineLimit(1), Image::systemName("chevron.up.chevron.down").font(Font::caption2())});
    return Button(face, [items] { presentMenu(items); }).accessibilityValue(title);
}

}  // namespace

View Picker(std::string label, Binding<std::string> selection, std::vector<PickerOption> options, PickerStyle style)
{
    return EnvironmentReader([=](const EnvironmentValues& env) {
        View control = style == PickerStyle::segmented ? segmented(selection, options, env.isEnabled) : menuFace(selection, options);
        if (label.empty()) return control;
        return LabeledContent(Text(label), control);
    });
}

}  // namespace platform::ui
