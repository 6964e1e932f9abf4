#include "desktop/Appearance.h"

#include "runtime/MainActor.h"
#include "runtime/Task.h"
#include "ui/HostWidget.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QObject>
#include <QPalette>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

DesktopAppearance appearanceFrom(std::optional<std::uint32_t> colorScheme, std::optional<std::uint32_t> reducedMotion,
                                 std::optional<bool> animationsEnabled, bool paletteIsDark)
{
    DesktopAppearance a;
    if (colorScheme == 1u) a.colorScheme = ui::ColorScheme::dark;
    else if (colorScheme == 2u) a.colorScheme = ui::ColorScheme::light;
    else a.colorScheme = paletteIsDark ? ui::ColorScheme::dark : ui::ColorScheme::light;
    if (reducedMotion) a.reduceMotion = *reducedMotion == 1u;
    else a.reduceMotion = animationsEnabled && !*animationsEnabled;
    return a;
}

std::optional<ui::ColorScheme> forcedColorScheme(const std::vector<std::string>& arguments)
{
    if (std::find(arguments.begin(), arguments.end(), "--ui-testing") == arguments.end()) return std::nullopt;
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] != "--appearance") continue;
        if (arguments[i + 1] == "dark") return ui::ColorScheme::dark;
        if (arguments[i + 1] == "light") return ui::ColorScheme::light;
    }
    return std::nullopt;
}

namespace {

constexpr const char* kService = "org.freedesktop.portal.Desktop";
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.Settings";

// A value the portal returns, unwrapped from its variants.
QVariant unwrap(QVariant v)
{
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
    return v;
}

std::optional<QVariant> readSetting(const QString& group, const QString& key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Read");
    call << group << key;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    return unwrap(reply.arguments().front());
}

std::optional<std::uint32_t> readNumber(const QString& group, const QString& key)
{
    auto v = readSetting(group, key);
    bool ok = false;
    const uint n = v ? v->toUInt(&ok) : 0;
    return ok ? std::optional<std::uint32_t>(n) : std::nullopt;
}

struct Service {
    std::optional<std::uint32_t> colorScheme, reducedMotion;
    std::optional<bool> animationsEnabled;
    std::optional<ui::ColorScheme> forced;
    bool started = false;
    DesktopAppearance current;
    Signal<DesktopAppearance> changed;
};

Service& service()
{
    static Service s;
    return s;
}

bool paletteIsDark()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

void push()
{
    Service& s = service();
    const DesktopAppearance before = s.current;
    s.current = appearanceFrom(s.colorScheme, s.reducedMotion, s.animationsEnabled, paletteIsDark());
    if (s.forced) s.current.colorScheme = *s.forced;
    const DesktopAppearance a = s.current;
    ui::HostWidget::setEnvironmentDefaults([a](ui::EnvironmentValues& env) {
        env.colorScheme = a.colorScheme;
        env.reduceMotion = a.reduceMotion;
    });
    if (a != before) s.changed.send(a);
}

// Hears the portal's SettingChanged signal.
class PortalListener final : public QObject {
    Q_OBJECT
public slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        const QVariant v = unwrap(value.variant());
        Service& s = service();
        bool ok = false;
        if (group == "org.freedesktop.appearance" && key == "color-scheme") {
            const uint n = v.toUInt(&ok);
            if (ok) s.colorScheme = n;
        } else if (group == "org.freedesktop.appearance" && key == "reduced-motion") {
            const uint n = v.toUInt(&ok);
            if (ok) s.reducedMotion = n;
        } else if (group == "org.gnome.desktop.interface" && key == "enable-animations") {
            s.animationsEnabled = v.toBool();
        } else {
            return;
        }
        push();
    }
};

// What the portal answered when first asked, handed from the task that asked.
struct PortalSettings {
    std::optional<std::uint32_t> colorScheme, reducedMotion;
    std::optional<bool> animationsEnabled;
};

class PortalReading {
public:
    void hand(const PortalSettings& read)
    {
        std::lock_guard lock(mutex_);
        read_ = read;
        answered_.notify_all();
    }
    bool waitFor(std::chrono::milliseconds patience)
    {
        std::unique_lock lock(mutex_);
        return answered_.wait_for(lock, patience, [this] { return read_.has_value(); });
    }
    // On the main thread. A change the portal signalled meanwhile is newer than this answer and stays.
    void applyOnce()
    {
        PortalSettings read;
        {
            std::lock_guard lock(mutex_);
            if (applied_ || !read_) return;
            applied_ = true;
            read = *read_;
        }
        Service& s = service();
        if (!s.colorScheme) s.colorScheme = read.colorScheme;
        if (!s.reducedMotion) s.reducedMotion = read.reducedMotion;
        if (!s.animationsEnabled) s.animationsEnabled = read.animationsEnabled;
        push();
    }

private:
    std::mutex mutex_;
    std::condition_variable answered_;
    std::optional<PortalSettings> read_;
    bool applied_ = false;
};

}  // namespace

void startAppearanceService(const std::vector<std::string>& arguments)
{
    Service& s = service();
    s.forced = forcedColorScheme(arguments);
    if (!s.started && QCoreApplication::instance()) {
        s.started = true;
        // A bus that holds its answers must not hold the window: the portal is
        // read on a task, and the first frame waits for it a moment only.
        auto reading = std::make_shared<PortalReading>();
        static auto* listener = new PortalListener;
        detachTask(TaskPriority::userInitiated, [reading] {
            PortalSettings read;
            read.colorScheme = readNumber("org.freedesktop.appearance", "color-scheme");
            read.reducedMotion = readNumber("org.freedesktop.appearance", "reduced-motion");
            if (auto v = readSetting("org.gnome.desktop.interface", "enable-animations")) read.animationsEnabled = v->toBool();
            QDBusConnection::sessionBus().connect(kService, kPath, kInterface, "SettingChanged", listener,
                                                  SLOT(settingChanged(QString, QString, QDBusVariant)));
            reading->hand(read);
            postToMain([reading] { reading->applyOnce(); });
        });
        if (reading->waitFor(std::chrono::milliseconds(500))) reading->applyOnce();
    }
    push();
}

DesktopAppearance currentAppearance() { return service().current; }

Subscription observeAppearance(std::function<void(const DesktopAppearance&)> handler)
{
    return service().changed.subscribe(std::move(handler));
}

}  // namespace platform

#include "Appearance.moc"
