#include "Gallery.h"

#include <cstdio>

using namespace platform::ui;

namespace gallery {

namespace {

template <class T>
Binding<T> bind(GalleryState& s, T& field)
{
    return Binding<T>([&field] { return field; }, [&s, &field](T v) {
        field = std::move(v);
        if (s.changed) s.changed();
    });
}

View card(const std::string& title, ViewList content)
{
    return VStack(HorizontalAlignment::leading, 10, {
               Text(title).font(Font::headline()),
               VStack(HorizontalAlignment::leading, 10, std::move(content)),
           })
        .padding(14)
        .frame(FrameSpec{.maxWidth = infinity, .alignment = Alignment::topLeading})
        .background(RoundedRectangle(12).fill(Color::dynamic(Color::white(), Color::white(1, 0.06))))
        .overlay(RoundedRectangle(12).strokeBorder(Color::white(0, 0.08), 0.5).allowsHitTesting(false));
}

ButtonStyle softPress()
{
    // A face that shrinks a little while held.
    return [](const ButtonStyleConfiguration& c) {
        return c.label.padding(EdgeInsets{6, 12, 6, 12})
            .background(Capsule().fill(Color::green().opacity(0.18)))
            .scaleEffect(c.isPressed ? 0.98 : 1.0);
    };
}

std::string bytes(long long n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld MB", n);
    return buf;
}

View buttons(GalleryState& s)
{
    auto press = [&s](std::string what) {
        return [&s, what] {
            ++s.presses;
            s.lastAction = what;
            if (s.changed) s.changed();
        };
    };
    return card("Buttons", {
        HStack(VerticalAlignment::center, 8, {
            Button("Plain", press("Plain")).modifier(buttonStyle(plainButtonStyle())),
            Button("Bordered", press("Bordered")),
            Button("Prominent", press("Prominent")).modifier(buttonStyle(borderedProminentButtonStyle())),
            Button("Reclaim", press("Reclaim")).modifier(buttonStyle(borderedProminentButtonStyle())).modifier(tint(Color::green())),
            Button("Delete", press("Delete"), ButtonRole::destructive),
        }),
        HStack(VerticalAlignment::center, 8, {
            Button("Mini", press("Mini")).modifier(controlSize(ControlSize::mini)),
            Button("Small", press("Small")).modifier(controlSize(ControlSize::small)),
            Button("Regular", press("Regular")),
            Button("Large", press("Large")).modifier(controlSize(ControlSize::large)),
            Button("Capsule", press("Capsule")).modifier(buttonBorderShape(ButtonBorderShape::capsule)).modifier(controlSize(ControlSize::large)),
            Button("Disabled", press("Disabled")).disabled(true),
            Button("Soft press", press("Soft press")).modifier(buttonStyle(softPress())),
        }),
        Text("Last: " + s.lastAction + " · presses " + std::to_string(s.presses)).font(Font::callout()).foregroundStyle(ShapeStyle::secondary()),
    });
}

View inputs(GalleryState& s)
{
    return card("Inputs", {
        Toggle("Sound", bind(s, s.soundOn)),
        Picker("", bind(s, s.period), {{"daily", "Daily"}, {"weekly", "Weekly"}, {"monthly", "Monthly"}}, PickerStyle::segmented),
        Picker("Pane", bind(s, s.pane), {{"general", "General"}, {"folders", "Scan Folders"}, {"privacy", "Privacy"}}, PickerStyle::menu),
        Stepper("Idle after " + std::to_string(s.days) + " days", bind(s, s.days), 1, 1, 30),
        HStack(VerticalAlignment::center, 8, {Text("Level"), Slider(bind(s, s.level), 0, 100, 5), Text(std::to_string(int(s.level))).font(Font::body().monospacedDigit())}),
        TextField("Search name or path", bind(s, s.search), TextFieldOptions{12, nullptr}),
        TextField("Heading", bind(s, s.heading), TextFieldOptions{std::nullopt, nullptr, std::nullopt, std::pair{2, 3}}).frame(260, std::nullopt),
        HStack(VerticalAlignment::center, 12, {
            Link("Open the project site", "https://example.org"),
            Menu("More", {{"Rescan", [] {}}, {"Reveal in Files", [] {}}, MenuItem::divider(), {"Remove", [] {}}}),
        }),
        HStack(VerticalAlignment::center, 12, {ProgressView(s.level / 100, "Moving to Trash…").frame(220, std::nullopt), ProgressView()}),
    });
}

View form(GalleryState& s)
{
    return Form({
               Section("General", {Toggle("Open at login", bind(s, s.soundOn)), LabeledContent("Version", Text("1.0 (42)"))},
                       "Changes apply at once."),
               Section("Schedule", {Picker("Scan", bind(s, s.period), {{"daily", "Daily"}, {"weekly", "Weekly"}}, PickerStyle::menu)}),
           })
        .frame(FrameSpec{.minHeight = 250, .maxHeight = 250});
}

View stacksRow()
{
    ViewList cards;
    const char* names[] = {"Node", "Rust", "Python", "Swift", "Go", "Java", "Ruby", "Gradle"};
    Color colours[] = {Color::green(), Color::orange(), Color::blue(), Color::red(), Color::cyan(), Color::brown(), Color::pink(), Color::indigo()};
    for (int i = 0; i < 8; ++i)
        cards.push_back(VStack(HorizontalAlignment::leading, 4, {Circle().fill(colours[i]).frame(22, 22), Text(names[i]).font(Font::headline()),
                                                                  Text(std::to_string(3 + i) + " projects").font(Font::caption()).foregroundStyle(ShapeStyle::secondary())})
                            .padding(12)
                            .frame(120, 90, Alignment::topLeading)
                            .background(RoundedRectangle(10).fill(colours[i].opacity(0.12))));
    return card("Horizontal scroll with snapping", {
        ScrollView(Axis::horizontal, HStack(VerticalAlignment::top, 10, cards), ScrollViewOptions{false, true}).frame(std::nullopt, 90),
    });
}

View presentation(GalleryState& s)
{
    auto open = [&s](bool& flag) {
        return [&s, &flag] {
            flag = true;
            if (s.changed) s.changed();
        };
    };
    SheetOptions sheetOptions;
    sheetOptions.canClose = [&s] { return !s.busy; };
    sheetOptions.frame = FrameSpec{.minWidth = 360, .idealWidth = 420, .maxWidth = 520};
    return card("Presentation", {
        HStack(VerticalAlignment::center, 8, {
            Button("Sheet", open(s.sheetShown)).accessibilityIdentifier("open-sheet"),
            Button("Popover", open(s.popoverShown)).modifier(popover(bind(s, s.popoverShown), [] {
                return VStack(HorizontalAlignment::leading, 6, {Text("Notices").font(Font::headline()), Text("The grove is quiet.").foregroundStyle(ShapeStyle::secondary())})
                    .padding(14)
                    .frame(240, std::nullopt, Alignment::leading);
            }, Edge::bottom)),
            Button("Alert", open(s.alertShown)).modifier(alert("Move 3 folders to the Trash?", bind(s, s.alertShown),
                                                                {{"Cancel", nullptr, ButtonRole::cancel}, {"Move to Trash", nullptr, ButtonRole::destructive}},
                                                                "They can be put back from the Trash.")),
            Button("Dialog", open(s.dialogShown)).modifier(confirmationDialog("Sign out?", bind(s, s.dialogShown),
                                                                               {{"Sign Out", nullptr, ButtonRole::destructive}, {"Cancel", nullptr, ButtonRole::cancel}})),
        }),
    }).modifier(sheet(bind(s, s.sheetShown), [&s] {
        return VStack(HorizontalAlignment::leading, 14, {
                   Text("Confirm clean").font(Font::title2()),
                   Text("These folders go to Trash. Source stays put.").foregroundStyle(ShapeStyle::secondary()),
                   Toggle("Busy (refuse to close)", bind(s, s.busy)),
                   HStack({Button("Cancel", [&s] {
                               if (s.busy) return;
                               s.sheetShown = false;
                               if (s.changed) s.changed();
                           }).modifier(controlSize(ControlSize::large)),
                           Spacer(),
                           Button("Move to Trash", [] {}).modifier(buttonStyle(borderedProminentButtonStyle())).modifier(tint(Color::green()))
                               .modifier(controlSize(ControlSize::large)).disabled(s.busy)}),
               })
            .padding(24);
    }, sheetOptions));
}

View motion(GalleryState& s)
{
    auto flip = [&s](bool& flag) {
        return [&s, &flag] {
            withAnimation(Animation::spring(0.42, 0.86), [&] {
                flag = !flag;
                if (s.changed) s.changed();
            });
        };
    };
    ViewList rows;
    const char* sections[] = {"Dashboard", "Projects", "Global Caches", "Activity"};
    for (int i = 0; i < 4; ++i) {
        View pill = ViewIf(s.selectedRow == i, RoundedRectangle(7).fill(Color::blue().opacity(0.18)).modifier(matchedGeometryEffect("selection", "gallery")));
        rows.push_back(Text(sections[i])
                           .padding(EdgeInsets{5, 10, 5, 10})
                           .frame(FrameSpec{.maxWidth = infinity, .alignment = Alignment::leading})
                           .background(pill)
                           .contentShape(Rectangle())
                           .onTapGesture([&s, i] {
                               withAnimation(Animation::spring(0.42, 0.86), [&] {
                                   s.selectedRow = i;
                                   if (s.changed) s.changed();
                               });
                           }));
    }
    return card("Motion", {
        HStack(VerticalAlignment::top, 16, {
            VStack(HorizontalAlignment::leading, 2, rows).frame(170, std::nullopt),
            VStack(HorizontalAlignment::leading, 10, {
                HStack(VerticalAlignment::center, 8, {
                    Button("Prompt", flip(s.promptShown)),
                    Button("Banner", flip(s.bannerShown)),
                    Button("+ bytes", [&s] {
                        s.reclaimed += 487;
                        ++s.bounces;
                        if (s.changed) s.changed();
                    }),
                }),
                HStack(VerticalAlignment::center, 10, {
                    NumericText(bytes(s.reclaimed)).font(Font::system(22, FontWeight::bold, FontDesign::rounded)),
                    Image::systemName("checkmark.circle.fill").font(Font::title2()).foregroundStyle(Color::green()).modifier(symbolBounce(s.bounces)),
                    TimelineView(TimelineSchedule::periodic(1), [](double t) {
                        return Text("t = " + std::to_string(long(t) % 1000)).font(Font::callout().monospacedDigit()).foregroundStyle(ShapeStyle::secondary());
                    }),
                }),
                ZStack(Alignment::bottom, {
                    View(Color::clear()).frame(std::nullopt, 90),
                    TransitionIf(s.promptShown, Transition::scale(0.92).combined(Transition::opacity()),
                                 Text("Share your forest?").padding(10).background(Capsule().fill(Color::teal().opacity(0.2)))).offset(0, -40),
                    TransitionIf(s.bannerShown, Transition::move(Edge::bottom).combined(Transition::opacity()),
                                 Text("Nothing to move to Trash for the selected projects.").font(Font::callout()).padding(8)
                                     .background(RoundedRectangle(8).fill(Color::orange().opacity(0.2)))),
                }).clipped(),
            }),
        }),
    });
}

View newPieces(GalleryState& s)
{
    ViewList labels;
    for (LabelStyle style : {LabelStyle::titleAndIcon, LabelStyle::iconOnly, LabelStyle::titleOnly})
        labels.push_back(Label("Show in Files", "folder").modifier(labelStyle(style)));
    View rows = ForEachIndex(1000, [](size_t i) { return std::to_string(i); }, [&s](size_t i) {
        return Text("Row " + std::to_string(i)).font(Font::callout()).padding(EdgeInsets{3, 8, 3, 8})
            .frame(FrameSpec{.maxWidth = infinity, .alignment = Alignment::leading})
            .onAppear([&s] { ++s.rowsShown; });
    });
    View pulse = AnimatableFrom<double>(0.35, 1, Animation::easeInOut(0.9).repeatForever(), [](const double& o) {
        return Circle().fill(Color::green()).frame(12, 12).opacity(o);
    });
    View card2 = VStack(HorizontalAlignment::center, 8, {
                     Text("Share your clean?").font(Font::headline()),
                     HStack(VerticalAlignment::center, 8, {
                         Button("Not Now", [] {}).modifier(keyboardShortcut(KeyboardShortcut::cancelAction())),
                         Button("Share", [] {}).modifier(buttonStyle(borderedProminentButtonStyle()))
                             .modifier(keyboardShortcut(KeyboardShortcut::defaultAction())),
                     }),
                 })
                     .padding(12)
                     .background(RoundedRectangle(12).fill(Color::dynamic(Color::white(), Color::white(1, 0.1))))
                     .shadow(Color::black().opacity(0.2), 10, 0, 4)
                     .accessibilityElement(AccessibilityChildBehavior::contain)
                     .accessibilityAddTraits(AccessibilityTrait::isModal);
    return card("Labels, toggles, shapes, lazy rows", {
        HStack(VerticalAlignment::center, 14, labels),
        Text("TODAY · 5 DEC 2026").font(Font::caption().weight(FontWeight::semibold)).tracking(0.8).foregroundStyle(ShapeStyle::secondary()),
        HStack(VerticalAlignment::center, 6, {Text("Path"), Text("~/code/tidewell/node_modules").font(Font::callout().design(FontDesign::monospaced))
                                                                 .textSelection(true)}),
        HStack(VerticalAlignment::center, 16, {
            Toggle("Idle only", bind(s, s.idleOnly)).modifier(toggleStyle(ToggleStyle::checkbox)),
            Toggle("Compact", bind(s, s.compactSwitch)).modifier(controlSize(ControlSize::small)),
            pulse,
        }),
        HStack(VerticalAlignment::center, 12, {
            UnevenRoundedRectangle({14, 14, 0, 0}).fill(Color::teal()).frame(70, 40),
            UnevenRoundedRectangle({0, 0, 14, 14}).fill(Color::orange()).frame(70, 40),
            UnevenRoundedRectangle({4, 0, 0, 4}).fill(Color::indigo()).frame(6, 40),
            card2,
        }),
        ScrollView(LazyVStack(HorizontalAlignment::leading, 0, {rows})).frame(std::nullopt, 110)
            .background(RoundedRectangle(8).fill(Color::primary().opacity(0.04))),
        Text("Lazy rows that appeared: " + std::to_string(s.rowsShown) + " of 1000").font(Font::caption()).foregroundStyle(ShapeStyle::secondary()),
    });
}

}  // namespace

View galleryView(GalleryState& s)
{
    return ScrollView(VStack(HorizontalAlignment::leading, 14, {
                          Text("View layer gallery").font(Font::largeTitle()),
                          HStack(VerticalAlignment::top, 14, {VStack(HorizontalAlignment::leading, 14, {buttons(s), inputs(s)}),
                                                              VStack(HorizontalAlignment::leading, 14, {presentation(s), motion(s), stacksRow()})}),
                          HStack(VerticalAlignment::top, 14, {newPieces(s), card("Form", {form(s)})}),
                      })
                          .padding(20))
        .background(Color::dynamic(Color::white(0.94), Color::white(0.12)));
}

}  // namespace gallery
