// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private D-Bus daemon for the adapters' integration tests, with the
// python3-dbusmock mocks started on it; everything is killed when the object
// goes. Its type is "system" (adapters of session services take the
// connection as a parameter, so they run on it as well).
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>

#include "QtWait.h"

namespace corvane {

inline QString templatePath(const char* name) {
    return QString::fromLocal8Bit(std::getenv("CORVANE_SOURCE_DIR")) + "/tests/integration/templates/" + name;
}

class PrivateSystemBus {
public:
    explicit PrivateSystemBus(const QString& extraPolicy = {}) {
        ensureApplication();
        const auto config = folder_ + "/system.conf";
        std::ofstream(config.toStdString())
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig><type>system</type>"
            << "<listen>unix:path=" << (folder_ + "/system.sock").toStdString() << "</listen><auth>EXTERNAL</auth>"
            << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/><allow user=\"*\"/>"
            << extraPolicy.toStdString() << "</policy></busconfig>\n";
        daemon_.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
        if (!daemon_.waitForStarted(3000) || !daemon_.waitForReadyRead(3000)) return;
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        connection_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address_, "corvane-test-" + QString::number(++connections_)));
    }
    ~PrivateSystemBus() {
        for (auto& mock : mocks_) stop(*mock);
        if (connection_) QDBusConnection::disconnectFromBus(connection_->name());
        stop(daemon_);
        std::filesystem::remove_all(folder_.toStdString());
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    QDBusConnection& bus() { return *connection_; }
    bool isUp() const { return connection_ && connection_->isConnected(); }
    const QString& address() const { return address_; }

    // Starts `python3 -m dbusmock --system -t TEMPLATE` and waits for `name`.
    QProcess* startMock(const QString& templateName, const QString& name, const QString& parameters = {}) {
        auto& mock = mocks_.emplace_back(std::make_unique<QProcess>());
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address_);
        mock->setProcessEnvironment(environment);
        mock->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{"-m", "dbusmock", "--system", "-t", templateName};
        if (!parameters.isEmpty()) arguments << "-p" << parameters;
        mock->start("/usr/bin/python3", arguments);
        const bool up = mock->waitForStarted(3000) &&
                        runUntil([&] { return bus().interface()->isServiceRegistered(name).value(); },
                                 std::chrono::seconds(5));
        return up ? mock.get() : nullptr;
    }
    static void stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished(2000);
    }

    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        auto message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return callAndWait(bus(), message);
    }

private:
    static QString makeFolder() {
        std::string pattern = "/tmp/corvane-sysbus-XXXXXX";
        return QString::fromLocal8Bit(::mkdtemp(pattern.data()));
    }
    static inline int connections_ = 0;
    QString folder_ = makeFolder();
    QProcess daemon_;
    QString address_;
    std::unique_ptr<QDBusConnection> connection_;
    std::vector<std::unique_ptr<QProcess>> mocks_;
};

}  // namespace corvane
