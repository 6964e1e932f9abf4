// Renders the kit gallery to PNG, light and dark:
//
//   tidewell-kitgallery --output /tmp/kit --size 1280x1500 --scale 2
//
// writes /tmp/kit-light.png and /tmp/kit-dark.png. The store lives in a
// throw-away home, so the gallery never reads or writes the user's files.

#include "KitGalleryPage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "core/AppStore.h"
#include "kit/BundledFonts.h"
#include "ui/ViewHost.h"

using namespace platform::ui;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "tidewell-kitgallery: no temporary folder\n");
        return 1;
    }
    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        ::setenv(variable, scratch.path().toLocal8Bit().constData(), 1);

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"output", "Path prefix of the PNG files.", "prefix", "kit-gallery"});
    parser.addOption({"size", "Size in points, WxH.", "size", "1280x1500"});
    parser.addOption({"scale", "Device pixels per point.", "scale", "2"});
    parser.process(app);
    const QStringList wh = parser.value("size").split('x');
    bool okW = false, okH = false, okS = false;
    const double w = wh.value(0).toDouble(&okW), h = wh.value(1).toDouble(&okH), scale = parser.value("scale").toDouble(&okS);
    if (!okW || !okH || !okS || w <= 0 || h <= 0 || w > 10000 || h > 10000 || scale <= 0 || scale > 8) {
        std::fprintf(stderr, "tidewell-kitgallery: size must be WxH (1 to 10000) and scale 0 to 8\n");
        return 2;
    }

    tidewell::registerBundledFonts();
    tidewell::AppStore store;
    // A scan in progress, so the banner and the scanning button show.
    store.isScanning = true;
    tidewell::ScanSnapshot snapshot;
    snapshot.projectsFound = 37;
    snapshot.message = "Measuring ~/Projects/atlas/node_modules…";
    snapshot.elapsed = 83;
    store.scanUI = snapshot;
    std::optional<std::string> filter = std::string("node");
    const Binding<std::optional<std::string>> binding([&] { return filter; }, [&](std::optional<std::string> f) { filter = f; });

    for (const auto& [name, scheme] : {std::pair{"light", ColorScheme::light}, std::pair{"dark", ColorScheme::dark}}) {
        ViewHost host;
        host.setScheduler(nullptr);
        EnvironmentValues env;
        env.colorScheme = scheme;
        env.displayScale = scale;
        host.setEnvironment(env);
        host.setSize({w, h});
        host.setRoot([&] { return kitgallery::galleryPage(store, binding); });
        const QString out = parser.value("output") + "-" + name + ".png";
        if (!host.renderImage(scale).save(out, "PNG")) {
            std::fprintf(stderr, "tidewell-kitgallery: could not write %s\n", qPrintable(out));
            return 1;
        }
        std::printf("%s\n", qPrintable(out));
    }
    return 0;
}
