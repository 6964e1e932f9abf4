#include "kit/SizeClassReader.h"

namespace tidewell {

using platform::ui::GeometryProxy;
using platform::ui::View;

View SizeClassReader(std::function<View(WidthClass, HeightClass)> content) {
    return platform::ui::GeometryReader([content = std::move(content)](const GeometryProxy& proxy) {
        const WidthClass width = widthClassFor(proxy.size.width);
        const HeightClass height = heightClassFor(proxy.size.height);
        View body = content ? content(width, height) : View();
        return body.environment<WidthClassKey>(width)
            .environment<HeightClassKey>(height)
            .frame(proxy.size.width, proxy.size.height);
    });
}

}  // namespace tidewell
