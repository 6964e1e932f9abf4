#include "kit/ScrollsWhenShort.h"

#include "ui/ScrollView.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ScrollsWhenShort(ui::View content) {
    return ui::GeometryReader([content = std::move(content)](const ui::GeometryProxy& proxy) {
        return ui::ScrollView(content.frame(ui::FrameSpec{.minHeight = proxy.size.height}))
            .frame(proxy.size.width, proxy.size.height);
    });
}

}  // namespace tidewell
