#include "ui/Link.h"

#include "ui/Button.h"
#include "ui/Text.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform::ui {

OpenURLKey::Value OpenURLKey::defaultValue()
{
    return [](const std::string& url) {
        const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
        const QString scheme = u.scheme().toLower();
        if (!u.isValid() || (scheme != "http" && scheme != "https") || u.host().isEmpty()) return false;
        return QDesktopServices::openUrl(u);
    };
}

View Link(std::string title, std::string url)
{
    return EnvironmentReader([title, url](const EnvironmentValues& env) {
        auto open = env.get<OpenURLKey>();
        return Button(Text(title).foregroundStyle(env.get<TintKey>().value_or(accentColor())), [open, url] {
                   if (open) open(url);
               })
            .modifier(buttonStyle(plainButtonStyle()))
            .cursor(CursorShape::pointingHand)
            .help(url);
    });
}

}  // namespace platform::ui
