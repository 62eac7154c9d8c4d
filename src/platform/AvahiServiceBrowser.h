// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ServiceBrowser over Avahi's D-Bus API on the system bus (Server2: Prepare,
// connect, Start), asynchronous only. Keeps every entry per (interface,
// protocol, name, type, domain) with the interface name captured when it
// appeared, and hands each type's whole set to the owner after every change,
// once per loop turn.
//
// Daemon stops send no removals: the sets are kept as they were (emptying
// them would raise false departures), the failure is reported once, and when
// the daemon returns every browser is made again and each type's set is
// replaced at its first "all for now".
//
// Departures without a goodbye: Avahi keeps a silent host's services for the
// 75 minutes their pointer records live. For the services of the devices named
// in confirmDepartures() a resolver stays open; its failure (about two
// minutes after the host went silent, when the service record expires) takes
// the entry out of the delivered set, its success puts it back.
//
// Loop (Qt main) thread only.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

#include "app/ports/ServiceBrowser.h"

class QDBusMessage;

namespace corvane {

class AvahiServiceBrowser final : public QObject, public ServiceBrowser {
    Q_OBJECT

public:
    explicit AvahiServiceBrowser(QDBusConnection bus = QDBusConnection::systemBus());
    ~AvahiServiceBrowser() override;

    void start(const std::vector<std::string>& serviceTypes, Handlers handlers) override;
    void stop() override;
    void confirmDepartures(const std::set<std::string>& deviceIdentifiers) override;

private slots:
    void onItemNew(const QDBusMessage& message);
    void onItemRemove(const QDBusMessage& message);
    void onBrowserFailure(const QDBusMessage& message);
    void onAllForNow(const QDBusMessage& message);
    void onResolverFound(const QDBusMessage& message);
    void onResolverFailure(const QDBusMessage& message);

private:
    // (interface index, protocol, name, type, domain as Avahi reports it)
    using EntryKey = std::tuple<int, int, QString, QString, QString>;
    struct Entry {
        std::string interfaceName;
        // The resolver found the host silent: left out of the delivered set.
        bool silent = false;
        QString resolverPath;
        bool resolverRequested = false;
    };
    using Entries = std::map<EntryKey, Entry>;
    struct TypeState {
        Entries entries;
        // After the daemon returned: entries seen since, swapped in at the
        // first "all for now".
        Entries replacement;
        bool replacing = false;
        QString browserPath;
    };

    void prepareBrowsers();
    void prepareBrowser(const std::string& type);
    void daemonAppeared();
    void daemonVanished();
    void reportFailure(const QString& description,
                       ServiceBrowserState::Kind kind = ServiceBrowserState::Kind::failed);
    Entries* entriesFor(const QDBusMessage& message, std::string* type = nullptr);
    void markChanged(const std::string& type);
    void deliverChanged();
    void syncResolvers();
    void syncResolver(const std::string& type, const EntryKey& key, Entry& entry);
    void freeObject(const QString& path, const char* interface);
    bool wantsConfirmation(const EntryKey& key) const;
    Entry* entryForResolver(const QString& path, std::string* type);

    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
    Handlers handlers_;
    bool running_ = false;
    // Bumped by stop() and by a daemon change: replies to older calls are stale.
    std::uint64_t generation_ = 0;
    // Each distinct failure once per run: fifteen browsers refused for one
    // reason say it once, different reasons each get through.
    std::set<QString> reportedFailures_;
    std::vector<std::string> typeOrder_;
    std::map<std::string, TypeState> types_;
    std::map<QString, std::string> typeByBrowser_;
    std::map<QString, std::pair<std::string, EntryKey>> entryByResolver_;
    std::set<std::string> confirmed_;
    std::set<std::string> changedTypes_;
    bool deliveryPosted_ = false;
};

}  // namespace corvane
