#include "shell/MenuBarStatusItem.h"

#include "core/ModelTexts.h"
#include "desktop/StatusItem.h"
#include "kit/BrandLogo.h"
#include "kit/Theme.h"
#include "projects/MenuBarWidget.h"
#include "runtime/MainActor.h"
#include "runtime/Timer.h"
#include "ui/Shape.h"

namespace tidewell {

namespace {
constexpr int kIconPixels = 44;  // the tray scales it to its own size
}

std::string menuBarScanningTitle(const ScanSnapshot& scan) {
    return " " + formatElapsed(scan.elapsed) + " · " + std::to_string(scan.projectsFound);
}

std::string menuBarScanningToolTip(std::int64_t projectsFound) {
    return "Tidewell is scanning · " + std::to_string(projectsFound) + " projects found";
}

platform::ui::View menuBarPopoverContent(AppStore& store, std::function<void()> onClose) {
    namespace ui = platform::ui;
    const ui::Shape shape = ui::RoundedRectangle(12);
    return MenuBarWidget(store, true, std::move(onClose))
        .background(shape.fill(Theme::windowBackground()))
        .overlay(shape.strokeBorder(ui::Color::primary().opacity(0.12), 1.0).allowsHitTesting(false));
}

MenuBarStatusItem::MenuBarStatusItem(AppStore& store)
    : store_(store), item_(std::make_unique<platform::StatusItem>()), self_(std::make_shared<MenuBarStatusItem*>(this)) {
    if (auto logo = brandMarkImage(18, kIconPixels / 18.0)) item_->setImage(*logo);
    item_->setToolTip("Tidewell");
    std::weak_ptr<MenuBarStatusItem*> weak = self_;
    item_->setPopoverContent([&store, weak] {
        return menuBarPopoverContent(store, [weak] {
            if (auto self = weak.lock()) (*self)->item_->closePopover();
        });
    });
    item_->popover().host().observe(store);

    // Values arrive on a later turn of the main loop, repeats dropped; the
    // current one comes first, so the item starts in the right look.
    auto deliver = [weak](bool scanning) {
        platform::postToMain([weak, scanning] {
            auto self = weak.lock();
            if (!self || (*self)->delivered_ == scanning) return;
            (*self)->delivered_ = scanning;
            (*self)->updateScanState(scanning);
        });
    };
    scanObserver_ = store.isScanning.subscribe(deliver);
    deliver(store.isScanning.get());
}

MenuBarStatusItem::~MenuBarStatusItem() = default;

bool MenuBarStatusItem::trayAvailable() const { return item_->isTrayAvailable(); }

void MenuBarStatusItem::toggle() { item_->togglePopover(); }

void MenuBarStatusItem::updateScanState(bool scanning) {
    scanTicker_.reset();
    if (!scanning) {
        item_->setTitle("");
        item_->setToolTip("Tidewell");
        return;
    }
    scanningTitle();
    std::weak_ptr<MenuBarStatusItem*> weak = self_;
    scanTicker_ = std::make_unique<platform::RepeatingTimer>(std::chrono::seconds(1), std::chrono::milliseconds(200), [weak] {
        if (auto self = weak.lock()) (*self)->scanningTitle();
    });
}

void MenuBarStatusItem::scanningTitle() {
    const ScanSnapshot& scan = store_.scanUI.get();
    item_->setTitle(menuBarScanningTitle(scan));
    item_->setToolTip(menuBarScanningToolTip(scan.projectsFound));
}

}  // namespace tidewell
