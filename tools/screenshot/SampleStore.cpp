#include "SampleStore.h"

#include <QTemporaryDir>

#include "core/ModelTexts.h"
#include "kit/BundledFonts.h"

#include <algorithm>
#include <cstdlib>

tidewell::AppStore& sampleStore(int projects, int stacks) {
    static QTemporaryDir scratch;
    static bool homed = [] {
        for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            ::setenv(variable, scratch.path().toLocal8Bit().constData(), 1);
        return true;
    }();
    (void)homed;
    // Titles take the display face only once the application has registered it.
    tidewell::registerBundledFonts();
    auto& store = tidewell::AppStore::shared();
    tidewell::fixtures::SampleOptions options;
    options.projects = projects;
    options.stacks = stacks;
    store.applyDashboard(tidewell::fixtures::sampleDashboard(options));
    store.operations = tidewell::fixtures::sampleHistory(12, 5);
    // The lifetime total holds at least what the history moved, as in the application.
    store.lifetimeReclaimedBytes = std::max(store.lifetimeReclaimedBytes.get(), tidewell::totalReclaimedBytes(store.operations.get()));
    return store;
}
