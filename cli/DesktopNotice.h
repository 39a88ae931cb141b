#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

namespace selvanix::cli {

// Notifications through the freedesktop notification interface on the session bus.
class DesktopNotices : public QObject {
    Q_OBJECT
public:
    // Nothing when there is no session bus or nothing on it shows notifications.
    static std::unique_ptr<DesktopNotices> connect();

    // Shows a notification with one action, "install" labelled actionLabel; its id, or nothing
    // when the server refused it.
    std::optional<quint32> show(const QString& summary, const QString& body,
                                const QString& actionLabel);

    // Waits until every shown notification was acted on or closed, at most limit; the ids whose
    // action was invoked, each once, in the order the user chose them.
    QList<quint32> waitForAnswers(std::chrono::milliseconds limit);

public slots:
    // Ends a wait under way; from any thread through a queued call.
    void stopWaiting() { Q_EMIT allAnswered(); }

signals:
    void allAnswered();

private slots:
    void actionInvoked(quint32 id, const QString& action);
    void notificationClosed(quint32 id, quint32 reason);

private:
    DesktopNotices() = default;
    std::map<quint32, bool> open_;  // shown and not yet answered
    QList<quint32> invoked_;
};

}  // namespace selvanix::cli
