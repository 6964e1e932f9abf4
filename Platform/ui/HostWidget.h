#pragma once

#include "ui/ViewHost.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace platform::ui {

// A Qt widget showing a ViewHost: it forwards size, pointer, wheel, key and
// tooltip events, sets the cursor, tracks the device pixel ratio, and runs
// frames the content asks for (timelines) while it can be seen: a window
// minimised, unmapped, on another workspace or wholly covered ticks not at all.
class HostWidget : public QWidget {
public:
    explicit HostWidget(QWidget* parent = nullptr);
    ~HostWidget() override;

    ViewHost& host() { return host_; }

    // What every host widget's environment takes from the desktop (colour
    // scheme, reduce motion): applied to the live ones at once and to each
    // new one as it is made.
    static void setEnvironmentDefaults(std::function<void(EnvironmentValues&)> apply);
    static std::vector<HostWidget*> all();

    // Shown, its window exposed and not minimised, and not wholly covered.
    bool onScreen() const;
    // Whether another window covers this one entirely, as the window system
    // tells it (Qt itself does not say).
    void setObscured(bool obscured);
    // Whether a frame a timeline asked for is waiting to run.
    bool frameScheduled() const { return frameTimer_.isActive(); }
    // Called whenever `onScreen()` changes.
    void setOnScreenHandler(std::function<void(bool)> handler) { onScreenChanged_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Tab and Shift+Tab move the focus among the views, not among widgets.
    bool focusNextPrevChild(bool next) override;

private:
    // Brings the host to the widget's current size (a hidden widget gets no
    // resize events) and its content up to date before an event is routed.
    void sync();
    void afterEvent(Point p);
    void scheduleFrame();
    // Follows the top-level window's exposure, once it has a native window.
    void watchWindow();
    void exposureChanged();

    ViewHost host_;
    QTimer frameTimer_;
    QPointer<QWindow> watched_;
    bool obscured_ = false;
    bool wasOnScreen_ = false;
    std::function<void(bool)> onScreenChanged_;
};

}  // namespace platform::ui
