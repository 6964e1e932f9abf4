#pragma once
// Desktop notifications: org.freedesktop.Notifications on the session bus.
// A notification has an identifier, a title and a body and makes no sound; a
// click on it (the default action) comes back to the activation handler with
// its identifier. Without a notification server a post is quietly dropped.
// Code asks `Notifier::shared()`; tests install a recording notifier.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QDBusConnection;

namespace platform {

struct NotificationRequest {
    std::string identifier;
    std::string title;
    std::string body;
    bool operator==(const NotificationRequest&) const = default;
};

class Notifier {
public:
    using ActivationHandler = std::function<void(const std::string& identifier)>;
    virtual ~Notifier() = default;

    // Shows the notification now; posting an identifier again replaces the
    // earlier one. Failures are dropped.
    virtual void post(const NotificationRequest& request) = 0;

    // Runs on the main thread when the user clicks a notification we posted.
    void setActivationHandler(ActivationHandler handler) { onActivate_ = std::move(handler); }
    void activated(const std::string& identifier) const {
        if (onActivate_) onActivate_(identifier);
    }

    static Notifier& shared();
    // Installs `notifier` (not owned); nullptr restores the desktop's.
    static void setShared(Notifier* notifier);

private:
    ActivationHandler onActivate_;
};

class DesktopNotifier final : public Notifier {
public:
    DesktopNotifier();  // the session bus
    explicit DesktopNotifier(const QDBusConnection& bus);
    ~DesktopNotifier() override;

    void post(const NotificationRequest& request) override;

    // The server's answer to the last post arrived (or failed); for tests.
    std::size_t answeredPosts() const { return answered_; }

private:
    friend class NotificationListener;
    void actionInvoked(unsigned id, const std::string& action);
    void closed(unsigned id);

    std::unique_ptr<class NotificationListener> listener_;
    std::map<unsigned, std::string> identifiers_;  // server id → our identifier
    std::size_t answered_ = 0;
};

// A notifier that only records, for tests.
class RecordingNotifier final : public Notifier {
public:
    std::vector<NotificationRequest> posted;
    void post(const NotificationRequest& request) override { posted.push_back(request); }
};

}  // namespace platform
