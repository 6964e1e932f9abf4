#include "social/ShareBackground.h"

namespace tidewell {

namespace ui = platform::ui;

const std::vector<ShareBackground>& ShareBackground::presets() {
    static const std::vector<ShareBackground> list = [] {
        auto preset = [](int id, const char* name, std::uint32_t first, std::uint32_t second, bool darkText) {
            return ShareBackground{id, name, {ui::Color::hex(first), ui::Color::hex(second)}, darkText};
        };
        return std::vector<ShareBackground>{
            preset(0, "Forest", 0x0E2A1D, 0x1F6B44, false), preset(1, "Ocean", 0x0A1A2E, 0x0A84FF, false),
            preset(2, "Violet", 0x1B1036, 0x7B4DE0, false), preset(3, "Ember", 0x2B1406, 0xF08A24, false),
            preset(4, "Sky", 0xE8F2FA, 0xBFE0FF, true),     preset(5, "Sand", 0xFDF6EC, 0xF6D7B0, true),
            preset(6, "Grove", 0x131C20, 0x131C20, false),  preset(7, "Black", 0x0B0B0B, 0x0B0B0B, false),
        };
    }();
    return list;
}

ui::LinearGradient ShareBackground::gradient() const {
    std::vector<ui::GradientStop> stops;
    for (std::size_t i = 0; i < colors.size(); ++i)
        stops.push_back({colors[i], colors.size() > 1 ? double(i) / double(colors.size() - 1) : 0.0});
    return {ui::Gradient::withStops(std::move(stops)), ui::UnitPoint::topLeading, ui::UnitPoint::bottomTrailing};
}

const ShareBackground& shareBackground(int id) {
    for (const auto& preset : ShareBackground::presets())
        if (preset.id == id) return preset;
    return ShareBackground::presets().front();
}

}  // namespace tidewell
