#include "desktop/Cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform::cursor {

Qt::CursorShape qtShape(ui::CursorShape shape)
{
    switch (shape) {
    case ui::CursorShape::arrow: return Qt::ArrowCursor;
    case ui::CursorShape::pointingHand: return Qt::PointingHandCursor;
    case ui::CursorShape::iBeam: return Qt::IBeamCursor;
    }
    return Qt::ArrowCursor;
}

ui::Point position()
{
    const QPoint p = QCursor::pos();
    return {double(p.x()), double(p.y())};
}

void push(ui::CursorShape shape) { QGuiApplication::setOverrideCursor(QCursor(qtShape(shape))); }

void pop()
{
    if (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

}  // namespace platform::cursor
