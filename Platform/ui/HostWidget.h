#pragma once

#include "ui/ViewHost.h"

#include <QTimer>
#include <QWidget>

namespace platform::ui {

// A Qt widget showing a ViewHost: it forwards size, pointer, wheel, key and
// tooltip events, sets the cursor, tracks the device pixel ratio, and runs
// frames the content asks for (timelines).
class HostWidget : public QWidget {
public:
    explicit HostWidget(QWidget* parent = nullptr);

    ViewHost& host() { return host_; }

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
