// tidewell-gallery [--dark] [--reduce-motion] [--size WxH] [--open sheet|popover|alert|dialog]
//                  [--screenshot out.png [--scale S]] [--filmstrip out.png] [--quit-after MS]
//
// Shows every control and transition in a window. --screenshot renders the
// window's view tree to a PNG and exits; --filmstrip renders the motion card's
// transitions at several moments of one animation, driven by a set clock.

#include "Gallery.h"

#include "desktop/Window.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

using namespace platform;
using namespace platform::ui;

namespace {

const char* argValue(int argc, char** argv, const char* name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    return nullptr;
}

bool hasArg(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

int filmstrip(gallery::GalleryState& state, const EnvironmentValues& env, Size size, const std::string& out)
{
    // A host of our own with a clock we set: frames of one spring, side by side.
    double clock = 0;
    ViewHost host;
    host.setScheduler(nullptr);
    host.setClock([&] { return clock; });
    host.setEnvironment(env);
    host.setSize(size);
    state.changed = [&] { host.setNeedsRebuild(); };
    host.setRoot([&] { return gallery::galleryView(state); });
    host.flush();
    withAnimation(Animation::spring(0.42, 0.86), [&] {
        state.promptShown = false;
        state.bannerShown = false;
        state.selectedRow = 3;
        state.reclaimed += 487;
        ++state.bounces;
        host.setNeedsRebuild();
    });
    const double times[] = {0, 0.08, 0.16, 0.3, 0.6};
    QImage strip(int(size.width) * 5, int(size.height), QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::white);
    QPainter p(&strip);
    for (int i = 0; i < 5; ++i) {
        clock = times[i];
        host.setNeedsRebuild();
        QImage frame = host.renderImage(1);
        p.drawImage(int(size.width) * i, 0, frame);
        p.setPen(Qt::red);
        p.drawText(int(size.width) * i + 8, int(size.height) - 8, QString("t = %1 s").arg(times[i]));
    }
    p.end();
    return strip.save(QString::fromStdString(out)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    gallery::GalleryState state;
    EnvironmentValues env;
    if (hasArg(argc, argv, "--dark")) env.colorScheme = ColorScheme::dark;
    env.reduceMotion = hasArg(argc, argv, "--reduce-motion");
    Size size{1280, 900};
    if (const char* s = argValue(argc, argv, "--size")) std::sscanf(s, "%lfx%lf", &size.width, &size.height);
    if (const char* o = argValue(argc, argv, "--open")) {
        const std::string what = o;
        state.sheetShown = what == "sheet";
        state.popoverShown = what == "popover";
        state.alertShown = what == "alert";
        state.dialogShown = what == "dialog";
    }

    if (const char* out = argValue(argc, argv, "--filmstrip"))
        return filmstrip(state, env, size, out);

    Window window(WindowSpec{"gallery", "View layer gallery", WindowKind::standard, size, Size{900, 600}});
    window.host().setEnvironment(env);
    state.changed = [&] { window.host().setNeedsRebuild(); };
    window.setContent([&] { return gallery::galleryView(state); });
    window.activate();

    if (const char* out = argValue(argc, argv, "--screenshot")) {
        double scale = 1;
        if (const char* s = argValue(argc, argv, "--scale")) scale = std::atof(s);
        QTimer::singleShot(300, [&, out, scale] {
            window.host().setSize(size);
            const QImage image = window.host().renderImage(scale > 0 ? scale : 1);
            const bool ok = image.save(QString::fromLatin1(out));
            std::printf("%s %s\n", ok ? "wrote" : "could not write", out);
            QApplication::exit(ok ? 0 : 1);
        });
    }
    if (const char* ms = argValue(argc, argv, "--quit-after")) QTimer::singleShot(std::atoi(ms), [] { QApplication::quit(); });
    return app.exec();
}
