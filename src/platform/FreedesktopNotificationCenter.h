// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Local notifications through org.freedesktop.Notifications on the session
// bus. Summary = title; app name "Corvane"; hints: "sound-name" (the alarm
// sound and urgency 2 for critical alerts, else "message-new-instant" and
// urgency 1) and "x-corvane-identifier" with the alert's identifier. Posting
// an identifier again passes the id the server gave the earlier one as
// `replaces_id`, so the newer notification takes the older one's place.
//
// Bodies are text from the mesh. A server that lists "body-markup" among its
// capabilities reads the body as markup, so for it "&", "<" and ">" are
// escaped. The capabilities are asked once per server, ahead of the first
// notification (at construction, and again when another process takes the
// name), and notifications posted before the answer wait for it, in order: guessing would show "&amp;" on a plain-text server or
// lose a "<" on a markup one. The ids to replace belong to one server too and
// are forgotten with it.
//
// Loop thread only; calls are asynchronous and never block. Without a session
// bus or a notification server nothing is reported, as posting is
// fire-and-forget.
#include <QDBusServiceWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/ports/NotificationCenter.h"

namespace corvane {

class FreedesktopNotificationCenter final : public QObject, public NotificationCenter {
public:
    FreedesktopNotificationCenter();

    void requestAuthorization() override {}
    void post(const LocalNotification& notification) override;

private:
    enum class Asking { ahead, forPost };
    void askCapabilities(Asking asking);
    void serverChanged(bool serverPresent);
    void send(const LocalNotification& notification);

    QDBusServiceWatcher serverWatcher_;
    // Whether the current server reads bodies as markup; absent until known.
    std::optional<bool> bodyMarkup_;
    bool asking_ = false;
    // Counts server changes, so an answer from an earlier server is ignored.
    std::uint64_t server_ = 0;
    std::vector<LocalNotification> waiting_;
    QHash<QString, uint> idsByIdentifier_;
};

}  // namespace corvane
