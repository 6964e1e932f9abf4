#include "shell/ScanWidgetPanel.h"

#include "core/ShellServices.h"
#include "desktop/Cursor.h"
#include "desktop/Window.h"
#include "shell/ScanWidgetView.h"

namespace tidewell {

namespace ui = platform::ui;

std::optional<ui::Point> scanPanelOrigin(const std::vector<ScreenArea>& screens, ui::Point pointer, ui::Size size) {
    if (screens.empty()) return std::nullopt;
    const ScreenArea* target = &screens.front();
    for (const auto& s : screens)
        if (s.frame.contains(pointer)) {
            target = &s;
            break;
        }
    return platform::topRightOrigin(target->visibleFrame, size, 16);
}

ScanWidgetPanel::ScanWidgetPanel(AppStore& store, Scheduler schedule)
    : store_(store), schedule_(std::move(schedule)), self_(std::make_shared<ScanWidgetPanel*>(this)) {
    if (!schedule_)
        schedule_ = [](double seconds, std::function<void()> work) {
            return platform::postToMainAfter(std::chrono::duration<double>(seconds), std::move(work));
        };
}

ScanWidgetPanel::~ScanWidgetPanel() {
    if (hideWork_) hideWork_->cancel();
}

ScanWidgetPanel& ScanWidgetPanel::shared() {
    // Kept to the very end: its window must not be torn down after the
    // application object is gone.
    static auto* panel = new ScanWidgetPanel(AppStore::shared());
    return *panel;
}

bool ScanWidgetPanel::isShown() const { return panel_ && panel_->isVisible(); }

void ScanWidgetPanel::show() {
    if (hideWork_) hideWork_->cancel();
    if (!panel_) {
        panel_ = std::make_unique<platform::Window>(
            platform::WindowSpec{"scan-widget", "", platform::WindowKind::floatingPanel, {260, 160}, std::nullopt});
        std::weak_ptr<ScanWidgetPanel*> weak = self_;
        panel_->setContent([&store = store_, weak] {
            return ScanWidgetView(store, openApp, [weak] {
                if (auto self = weak.lock()) hideNow(**self);
            });
        });
        panel_->host().observe(store_);
    }
    position();
    panel_->orderFront();

    // Only changes count: the value now is where the panel starts from.
    std::weak_ptr<ScanWidgetPanel*> weak = self_;
    lastScanning_ = store_.isScanning.get();
    scanObserver_ = store_.isScanning.subscribe([weak](bool scanning) {
        platform::postToMain([weak, scanning] {
            auto self = weak.lock();
            if (!self || !(*self)->scanObserver_.active() || (*self)->lastScanning_ == scanning) return;
            (*self)->lastScanning_ = scanning;
            (*self)->scanStateChanged(scanning);
        });
    });
    // A scan that never started (it failed before setting the flag) has
    // nothing to follow: the panel still leaves on its own.
    if (!store_.isScanning.get()) hide(hideAfterScanSeconds);
}

void ScanWidgetPanel::scanStateChanged(bool scanning) {
    // The card changes height between its scanning and its result: the
    // panel keeps fitting it, in the same corner.
    position();
    if (!scanning) hide(hideAfterScanSeconds);
}

void ScanWidgetPanel::hide(double seconds) {
    if (hideWork_) hideWork_->cancel();
    std::weak_ptr<ScanWidgetPanel*> weak = self_;
    hideWork_ = schedule_(seconds, [weak] {
        if (auto self = weak.lock()) (*self)->orderOutNow();
    });
}

void ScanWidgetPanel::orderOutNow() {
    if (panel_) panel_->hide();
    scanObserver_ = {};
}

void ScanWidgetPanel::position() {
    if (!panel_) return;
    std::vector<ScreenArea> screens;
    for (const auto& s : platform::screenAreas()) screens.push_back({s.frame, s.visibleFrame});
    const ui::Size size = panel_->fittingSize();
    if (const auto origin = scanPanelOrigin(screens, platform::cursor::position(), size))
        panel_->setFrame({origin->x, origin->y, size.width, size.height});
}

}  // namespace tidewell
