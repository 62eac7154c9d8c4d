// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's Home Assistant settings and the publisher they drive. The
// broker URL, user, base topic and room live in the defaults store; the
// password only in a file of its own (private, atomic, beside the defaults),
// which also names the broker it belongs to, so that a run pointed at
// another broker never sends it there. Owns the entities once the model
// exists. Loop thread only.
#include <memory>
#include <optional>
#include <string>

#include "app/HomeAssistantEntities.h"
#include "app/HomeAssistantPublisher.h"
#include "app/ports/DefaultsStore.h"
#include "core/PrivateFile.h"
#include "core/Result.h"

namespace corvane {

class CorvaneModel;

class HomeAssistantLink {
public:
    struct Settings {
        std::string brokerUrl;
        std::string user;
        std::string password;
        std::string baseTopic;
        std::string room;

        friend bool operator==(const Settings&, const Settings&) = default;
    };

    HomeAssistantLink(HomeAssistantPublisher& publisher, DefaultsStore& defaults, std::string passwordFile, std::string hostName);
    HomeAssistantLink(const HomeAssistantLink&) = delete;
    HomeAssistantLink& operator=(const HomeAssistantLink&) = delete;

    const Settings& settings() const { return settings_; }
    HomeAssistantPublisher& publisher() { return publisher_; }
    // "corvane/<host>" and the host name: what blank fields stand for.
    std::string defaultBaseTopic() const { return "corvane/" + hostName_; }
    const std::string& hostName() const { return hostName_; }

    // Publishes the model's entities from now on.
    void attach(CorvaneModel& model, EventLoop& loop);
    // Before the model goes.
    void detach() { entities_.reset(); }
    // Starts publishing with the saved settings (nothing without a broker).
    void start();
    // This run only, to `brokerUrl`: the saved user and password go along
    // only when they were saved for that broker.
    void startForThisRun(const std::string& brokerUrl);
    // Keeps the settings and restarts the publisher with them; fails only
    // when the password file could not be written (the rest is kept).
    Result<Done, FileError> apply(Settings settings);

private:
    void configure(const Settings& settings);

    HomeAssistantPublisher& publisher_;
    DefaultsStore& defaults_;
    std::string passwordFile_;
    std::string hostName_;
    Settings settings_;
    std::unique_ptr<HomeAssistantEntities> entities_;
};

}  // namespace corvane
