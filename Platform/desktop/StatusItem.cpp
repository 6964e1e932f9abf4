#include "desktop/StatusItem.h"

#include "ui/Text.h"
#include "ui/ViewHost.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>

namespace platform {

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Every digit takes the widest digit's cell, so a ticking clock or count keeps
// the icon's width: it only grows when a number gains a digit.
double titleAdvance(const QString& text, const QFontMetricsF& metrics, double digitCell)
{
    double width = 0;
    for (QChar c : text) width += isDigit(c) ? digitCell : metrics.horizontalAdvance(c);
    return width;
}

double widestDigit(const QFontMetricsF& metrics)
{
    double widest = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d) widest = std::max(widest, metrics.horizontalAdvance(QChar(d)));
    return widest;
}

}  // namespace

QImage composeStatusIcon(const QImage& logo, const std::string& title, int height)
{
    height = std::max(8, height);
    QFont font(ui::fontFamily(ui::Font::body()));
    font.setPixelSize(std::max(6, int(height * 0.55)));
    font.setWeight(QFont::Medium);
    const QFontMetricsF metrics(font);
    const double digitCell = widestDigit(metrics);
    const QString text = QString::fromStdString(title).trimmed();
    const double inset = height * 0.3;
    const double gap = height * 0.15;
    const double textWidth = text.isEmpty() ? 0 : titleAdvance(text, metrics, digitCell);
    const double plateWidth = text.isEmpty() ? 0 : textWidth + 2 * inset;
    const int width = height + (text.isEmpty() ? 0 : int(std::ceil(gap + plateWidth)));
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!logo.isNull()) p.drawImage(QRectF(0, 0, height, height), logo);
    if (!text.isEmpty()) {
        // The tray's panel may be light or dark and says nothing of it: the
        // title sits on a dark plate of its own, in white, readable on either.
        const QRectF plate(height + gap, height * 0.1, plateWidth, height * 0.8);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 28, 32, 225));
        p.drawRoundedRect(plate, plate.height() / 2, plate.height() / 2);
        p.setFont(font);
        p.setPen(Qt::white);
        double x = plate.x() + inset;
        for (QChar c : text) {
            const double advance = isDigit(c) ? digitCell : metrics.horizontalAdvance(c);
            p.drawText(QRectF(x, 0, advance, height), Qt::AlignCenter, QString(c));
            x += advance;
        }
    }
    return image;
}

ui::Point popupOrigin(ui::Rect anchor, ui::Size size, ui::Rect screen)
{
    double x = anchor.midX() - size.width / 2;
    double y = anchor.maxY() + 4;
    // A tray at the bottom of the screen: open upwards.
    if (y + size.height > screen.maxY()) y = anchor.minY() - 4 - size.height;
    x = std::clamp(x, screen.x, std::max(screen.x, screen.maxX() - size.width));
    y = std::clamp(y, screen.y, std::max(screen.y, screen.maxY() - size.height));
    return {x, y};
}

StatusItem::StatusItem()
{
    popover_ = std::make_unique<Window>(WindowSpec{"status-popover", "", WindowKind::popup, {320, 400}, std::nullopt});
    popover_->setVisibilityHandler([this](bool visible) {
        if (visible) return;
        justClosed_ = true;
        // Only the click in flight counts; later ones toggle as usual.
        QTimer::singleShot(300, [alive = std::weak_ptr<bool>(alive_), this] {
            if (alive.lock()) justClosed_ = false;
        });
    });
    ensureTray();
}

StatusItem::~StatusItem()
{
    delete tray_;
    delete trayWatch_;
    delete menu_;
}

bool StatusItem::isTrayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void StatusItem::ensureTray()
{
    if (tray_) return;
    if (!isTrayAvailable()) {
        // No tray yet: look again now and then until one appears.
        if (!trayWatch_) {
            trayWatch_ = new QTimer();
            trayWatch_->setInterval(2000);
            QObject::connect(trayWatch_, &QTimer::timeout, trayWatch_, [this] { ensureTray(); });
            trayWatch_->start();
        }
        return;
    }
    if (trayWatch_) trayWatch_->stop();
    tray_ = new QSystemTrayIcon();
    QObject::connect(tray_, &QSystemTrayIcon::activated, tray_, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) togglePopover();
    });
    if (menu_) tray_->setContextMenu(menu_);
    refreshIcon();
    tray_->show();
}

void StatusItem::setMenu(std::vector<std::pair<std::string, std::function<void()>>> entries)
{
    if (!menu_) menu_ = new QMenu();
    menu_->clear();
    for (auto& [title, action] : entries)
        QObject::connect(menu_->addAction(QString::fromStdString(title)), &QAction::triggered, menu_, std::move(action));
    if (tray_) tray_->setContextMenu(menu_);
}

QImage StatusItem::iconImage() const { return composeStatusIcon(logo_, title_, 44); }

void StatusItem::refreshIcon()
{
    if (!tray_) return;
    tray_->setIcon(QIcon(QPixmap::fromImage(iconImage())));
    tray_->setToolTip(QString::fromStdString(toolTip_));
}

void StatusItem::setImage(const QImage& logo)
{
    logo_ = logo;
    refreshIcon();
}

void StatusItem::setTitle(std::string title)
{
    if (title == title_) return;
    title_ = std::move(title);
    refreshIcon();
}

void StatusItem::setToolTip(std::string toolTip)
{
    toolTip_ = std::move(toolTip);
    refreshIcon();
}

void StatusItem::setPopoverContent(std::function<ui::View()> content)
{
    content_ = std::move(content);
    popover_->setContent(content_);
}

bool StatusItem::isPopoverShown() const { return popover_->isVisible(); }

void StatusItem::togglePopover()
{
    // A click on the icon while the popup is open first closes the popup
    // (a press outside it); that same click must not open it again.
    if (justClosed_) {
        justClosed_ = false;
        return;
    }
    if (isPopoverShown()) closePopover();
    else showPopover();
}

void StatusItem::showPopover()
{
    const ui::Size size = content_ ? idealSize(content_()) : ui::Size{320, 400};
    ui::Rect anchor;
    if (tray_ && !tray_->geometry().isEmpty()) {
        const QRect g = tray_->geometry();
        anchor = {double(g.x()), double(g.y()), double(g.width()), double(g.height())};
    } else {
        const QPoint c = QCursor::pos();
        anchor = {double(c.x()), double(c.y()), 1, 1};
    }
    ui::Rect screen{0, 0, 1920, 1080};
    QScreen* s = QGuiApplication::screenAt(QPoint(int(anchor.midX()), int(anchor.midY())));
    if (!s) s = QGuiApplication::primaryScreen();
    if (s) {
        const QRect a = s->availableGeometry();
        screen = {double(a.x()), double(a.y()), double(a.width()), double(a.height())};
    }
    const ui::Point origin = popupOrigin(anchor, size, screen);
    popover_->setFrame({origin.x, origin.y, std::max(1.0, size.width), std::max(1.0, size.height)});
    popover_->activate();
}

void StatusItem::closePopover()
{
    popover_->hide();
    justClosed_ = false;  // closed by us, not by a click outside
}

}  // namespace platform
