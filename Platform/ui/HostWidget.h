#pragma once

#include "ui/ViewHost.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace platform::ui {

// A Qt widget showing a ViewHost: it forwards size, pointer, wheel, key and
// tooltip events, sets the cursor, tracks the device pixel ratio, and runs
// frames the content asks for (timelines).
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
    // Tab and Shift+Tab move the focus among the views, not among widgets.
    bool focusNextPrevChild(bool next) override;

private:
    // Brings the host to the widget's current size (a hidden widget gets no
    // resize events) and its content up to date before an event is routed.
    void sync();
    void afterEvent(Point p);
    void scheduleFrame();

    ViewHost host_;
    QTimer frameTimer_;
};

}  // namespace platform::ui
