#pragma once
// Local notifications through org.freedesktop.Notifications on the session
// bus. Summary = title; app name "Corvane"; hints: "sound-name" (the alarm
// sound and urgency 2 for critical alerts, else "message-new-instant" and
// urgency 1) and "x-corvane-identifier" with the alert's identifier. Posting
// an identifier again passes the id the server gave the earlier one as
// `replaces_id`, so the newer notification takes the older one's place.
//
// Loop thread only; calls are asynchronous and never block. Without a session
// bus or a notification server nothing is reported, as posting is
// fire-and-forget.
#include <QObject>
#include <QString>
#include <QHash>

#include "app/ports/NotificationCenter.h"

namespace corvane {

class FreedesktopNotificationCenter final : public QObject, public NotificationCenter {
public:
    FreedesktopNotificationCenter();

    void requestAuthorization() override {}
    void post(const LocalNotification& notification) override;

private:
    QHash<QString, uint> idsByIdentifier_;
};

}  // namespace corvane
