// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hands the D-Bus signals it is subscribed to to a function: QtDBus delivers
// signals only to Qt slots, and the adapters keep their logic in plain
// members. Owned by the adapter that created it; loop thread only.
#include <functional>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

namespace corvane {

class DBusSignalRelay final : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const QDBusMessage&)>;

    DBusSignalRelay(QDBusConnection bus, Handler handler, QObject* parent = nullptr)
        : QObject(parent), bus_(std::move(bus)), handler_(std::move(handler)) {}

    // An empty `path` matches every object of the service.
    bool listen(const QString& service, const QString& path, const QString& interface, const QString& name) {
        return bus_.connect(service, path, interface, name, this, SLOT(deliver(QDBusMessage)));
    }

public slots:
    void deliver(const QDBusMessage& message) { handler_(message); }

private:
    QDBusConnection bus_;
    Handler handler_;
};

}  // namespace corvane
