// Renders a named page to PNG, headless (QT_QPA_PLATFORM=offscreen) or under
// Xvfb: either straight into an image, or shown in a real window and grabbed.
//
//   tidewell-screenshot --page sample --size 1100x760 --scale 2 --appearance dark --output /tmp/page.png
//   tidewell-screenshot --list

#include "SamplePages.h"
#include "ScreenshotPages.h"

#include "ui/HostWidget.h"
#include "ui/ViewHost.h"

#include "kit/BundledFonts.h"
#include "ui/Text.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

using namespace platform::ui;

std::map<std::string, PageFunction>& screenshotPages()
{
    static std::map<std::string, PageFunction> pages;
    return pages;
}

std::set<std::string>& windowOnlyPages()
{
    static std::set<std::string> pages;
    return pages;
}

namespace {
const ScreenshotPage sample("sample", [] { return samples::samplePage(); });
const ScreenshotPage rows("rows", [] { return samples::rowsPage(500); });
const ScreenshotPage list("list", [] { return samples::scrollingRowsPage(500); });
}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"page", "Page to render.", "name", "sample"});
    parser.addOption({"size", "Size in points, WxH.", "size", "1100x760"});
    parser.addOption({"scale", "Device pixels per point.", "scale", "1"});
    parser.addOption({"appearance", "light or dark.", "appearance", "light"});
    parser.addOption({"output", "PNG file to write.", "path", "screenshot.png"});
    parser.addOption({"window", "Show the page in a window and grab the window."});
    parser.addOption({"list", "List the pages."});
    parser.addOption({"after", "Render the page this many seconds after it first appears (entrances and timelines moved on).",
                      "seconds", "0"});
    parser.process(app);

    if (parser.isSet("list")) {
        for (const auto& [name, _] : screenshotPages()) std::printf("%s\n", name.c_str());
        return 0;
    }
    const auto& pages = screenshotPages();
    auto page = pages.find(parser.value("page").toStdString());
    if (page == pages.end()) {
        std::fprintf(stderr, "tidewell-screenshot: no page named \"%s\" (see --list)\n", qPrintable(parser.value("page")));
        return 2;
    }
    const QStringList wh = parser.value("size").split('x');
    bool okW = false, okH = false, okS = false;
    const double w = wh.value(0).toDouble(&okW), h = wh.value(1).toDouble(&okH), scale = parser.value("scale").toDouble(&okS);
    if (!okW || !okH || !okS || w <= 0 || h <= 0 || w > 10000 || h > 10000 || scale <= 0 || scale > 8) {
        std::fprintf(stderr, "tidewell-screenshot: size must be WxH (1 to 10000) and scale 0 to 8\n");
        return 2;
    }
    // The display face, registered the way the application does it, so that
    // titles take it on every path, the window's included.
    tidewell::registerBundledFonts();
    EnvironmentValues env;
    env.colorScheme = parser.value("appearance") == "dark" ? ColorScheme::dark : ColorScheme::light;

    if (!parser.isSet("window") && windowOnlyPages().count(page->first)) {
        std::fprintf(stderr, "tidewell-screenshot: \"%s\" shows a web page, which draws only with --window\n", page->first.c_str());
        return 3;
    }
    QImage image;
    if (parser.isSet("window")) {
        HostWidget window;
        window.host().setEnvironment(env);
        window.host().setRoot(page->second);
        window.resize(int(w), int(h));
        window.show();
        app.processEvents();
        // Native content (a web page) draws on its own time: let it.
        if (const double after = parser.value("after").toDouble(); after > 0) {
            QEventLoop wait;
            QTimer::singleShot(int(after * 1000), &wait, &QEventLoop::quit);
            wait.exec();
        }
        // What the display shows of the window: the web page draws in a
        // window of its own inside it, which the widget's own picture leaves out.
        image = window.screen()->grabWindow(window.winId()).toImage();
    } else {
        ViewHost host;
        env.displayScale = scale;
        host.setEnvironment(env);
        host.setSize({w, h});
        const double after = parser.value("after").toDouble();
        double now = 0;
        if (after > 0) {
            host.setScheduler(nullptr);
            host.setClock([&now] { return now; });
        }
        host.setRoot(page->second);
        host.flush();
        host.flush();  // what appearing changed
        if (after > 0) {
            now = after;
            host.setNeedsRebuild();
            host.flush();
        }
        image = host.renderImage(scale);
    }
    const QString out = parser.value("output");
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "tidewell-screenshot: could not write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s %dx%d\n", qPrintable(out), image.width(), image.height());
    return 0;
}
