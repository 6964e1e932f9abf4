#pragma once
// A host widget in a window of its own below a bar, as the application's
// windows hold their content below the menu bar: painted by Qt's repaints
// of the parts that changed, its frames run by the event loop.

#include "ui/HostWidget.h"

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>

namespace uitest {

// Counts the repaints of the widget it watches.
struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) ++count;
        return false;
    }
};

struct WindowBelowABar {
    QWidget window;
    QWidget* bar = new QWidget(&window);
    platform::ui::HostWidget* widget = new platform::ui::HostWidget(&window);
    PaintCounter paints;

    explicit WindowBelowABar(int barHeight = 30)
    {
        widget->installEventFilter(&paints);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        bar->setFixedHeight(barHeight);
        layout->addWidget(bar);
        layout->addWidget(widget);
    }
    platform::ui::ViewHost& host() { return widget->host(); }
    // Where the host's origin lies in the window.
    QPoint origin() const { return widget->mapTo(&window, QPoint(0, 0)); }
    // What the window shows, as the screen has it.
    QImage picture() { return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32); }
};

// Runs the event loop until `done`, for a few seconds at most.
inline bool pumpUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return done();
}

}  // namespace uitest
