#include "ui/AppStorage.h"

#include "runtime/MainActor.h"

#include <QCoreApplication>

namespace platform::ui::detail {

namespace {
struct DefaultsWatch {
    platform::UserDefaults::Observation observation;
    std::weak_ptr<platform::UserDefaults> store;
    std::string key;
};
}  // namespace

void watchDefaultsKey(BuildContext& ctx, const std::string& identity, const std::shared_ptr<platform::UserDefaults>& store,
                      const std::string& key)
{
    auto watch = std::static_pointer_cast<DefaultsWatch>(
        ctx.stateSlot(identity + "#defaults", [] { return std::static_pointer_cast<void>(std::make_shared<DefaultsWatch>()); }));
    if (watch->store.lock() == store && watch->key == key && store)
        return;
    watch->store = store;
    watch->key = key;
    BuildContext* host = &ctx;
    std::weak_ptr<DefaultsWatch> weak = watch;
    // The watch lives in the host's state, so while it is alive the host is too.
    watch->observation = store->observe(key, [weak, host] {
        auto rebuild = [weak, host] {
            if (weak.lock()) host->requestRebuild();
        };
        if (platform::isOnMainActor() || !QCoreApplication::instance()) rebuild();
        else platform::postToMain(rebuild);
    });
}

}  // namespace platform::ui::detail
