#include "ui/Form.h"

#include "ui/LabeledContent.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace platform::ui {

View Section(ViewList rows, SectionParts parts)
{
    ViewList card;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) card.push_back(Divider().padding(Edge::leading, 10));
        card.push_back(rows[i].padding(EdgeInsets{7, 10, 7, 10}).frame(FrameSpec{.maxWidth = infinity, .alignment = Alignment::leading}));
    }
    View body = VStack(HorizontalAlignment::leading, 0, card)
                    .background(RoundedRectangle(8).fill(Color::dynamic(Color::white(0, 0.03), Color::white(1, 0.05))))
                    .overlay(RoundedRectangle(8).strokeBorder(Color::dynamic(Color::white(0, 0.08), Color::white(1, 0.1)), 0.5).allowsHitTesting(false));
    const auto none = View().node();
    ViewList column;
    if (parts.header.node() != none) column.push_back(parts.header.font(Font::headline()).padding(Edge::leading, 4));
    column.push_back(body);
    if (parts.footer.node() != none)
        column.push_back(parts.footer.font(Font::footnote()).foregroundStyle(ShapeStyle::secondary()).padding(Edge::leading, 4));
    return VStack(HorizontalAlignment::leading, 6, column);
}

View Section(std::string header, ViewList rows, std::string footer)
{
    SectionParts parts;
    if (!header.empty()) parts.header = Text(std::move(header));
    if (!footer.empty()) parts.footer = Text(std::move(footer));
    return Section(std::move(rows), std::move(parts));
}

View Form(ViewList sections)
{
    return ScrollView(VStack(HorizontalAlignment::leading, 18, std::move(sections))
                          .padding(20)
                          .frame(FrameSpec{.maxWidth = infinity, .alignment = Alignment::topLeading}))
        .environment<InFormKey>(true);
}

}  // namespace platform::ui
