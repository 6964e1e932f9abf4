#include "kit/SizeClass.h"

namespace tidewell {

WidthClass widthClass(const platform::ui::EnvironmentValues& environment) {
    return environment.get<WidthClassKey>();
}

HeightClass heightClass(const platform::ui::EnvironmentValues& environment) {
    return environment.get<HeightClassKey>();
}

WidthClass widthClassFor(double width) {
    if (width < 1000) return WidthClass::compact;
    if (width < 1320) return WidthClass::regular;
    return WidthClass::wide;
}

HeightClass heightClassFor(double height) {
    return height >= 760 ? HeightClass::tall : HeightClass::short_;
}

}  // namespace tidewell
