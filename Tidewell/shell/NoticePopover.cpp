#include "shell/NoticePopover.h"

#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::Color roleColor(NoticeRole role) {
    switch (role) {
        case NoticeRole::reclaim: return Theme::reclaim();
        case NoticeRole::accent: return Theme::accent();
        case NoticeRole::caution: return Theme::caution();
    }
    return Theme::reclaim();
}

ui::View noticeRow(AppStore& store, const GroveNotice& notice, const std::function<void()>& onClose) {
    const ui::View label =
        ui::HStack(ui::VerticalAlignment::top, 10,
                   {ui::Image::systemName(notice.systemImage)
                        .font(ui::Font::body().weight(ui::FontWeight::semibold))
                        .foregroundStyle(roleColor(notice.role))
                        .frame(18, std::nullopt)
                        .accessibilityHidden(true),
                    ui::VStack(ui::HorizontalAlignment::leading, 2,
                               {ui::Text(notice.title)
                                    .font(ui::Font::callout().weight(ui::FontWeight::semibold))
                                    .foregroundStyle(ui::ShapeStyle::primary()),
                                ui::Text(notice.detail)
                                    .font(ui::Font::caption())
                                    .foregroundStyle(ui::ShapeStyle::secondary())
                                    .fixedSize(false, true)}),
                    ui::Spacer(0)})
            .padding(ui::Edges::horizontal(), 16)
            .padding(ui::Edges::vertical(), 10)
            .contentShape(ui::Rectangle());
    return PointingHandCursorModifier(ui::Button(label, [&store, notice, onClose] {
                                          store.openNotice(notice);
                                          onClose();
                                      })
                                          .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                                          .contentShape(ui::Rectangle()));
}

}  // namespace

ui::View NoticePopover(AppStore& store, std::function<void()> onClose) {
    const auto notices = store.groveNotices();
    ui::ViewList rows{ui::Text("Notifications")
                          .font(ui::Font::headline())
                          .padding(ui::Edges::horizontal(), 16)
                          .padding(ui::Edge::top, 14)
                          .padding(ui::Edge::bottom, 10)};
    if (notices.empty()) {
        rows.push_back(ui::Text("The grove is quiet.")
                           .font(ui::Font::callout())
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .padding(ui::Edges::horizontal(), 16)
                           .padding(ui::Edge::bottom, 16));
    } else {
        rows.push_back(ui::VStack(ui::HorizontalAlignment::leading, 0,
                                  {ui::ForEach<GroveNotice>(
                                      notices, [](const GroveNotice& n) { return n.id; },
                                      [&store, onClose](const GroveNotice& n) { return noticeRow(store, n, onClose); })})
                           .padding(ui::Edge::bottom, 8));
    }
    return ui::VStack(ui::HorizontalAlignment::leading, 0, std::move(rows)).frame(320, std::nullopt);
}

}  // namespace tidewell
