// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A ServiceBrowser driven by the test. It keeps the real one's promises: sets
// and failures are posted to the loop, never delivered inside a call, and
// nothing arrives after stop(). Records the types started and the set of
// devices whose departures are to be confirmed.
#include <set>
#include <string>
#include <vector>

#include "app/ports/EventLoop.h"
#include "app/ports/ServiceBrowser.h"

namespace corvane {

class FakeServiceBrowser final : public ServiceBrowser {
public:
    explicit FakeServiceBrowser(EventLoop& loop) : loop_(loop) {}

    void start(const std::vector<std::string>& serviceTypes, Handlers handlers) override {
        startedTypes = serviceTypes;
        handlers_ = std::move(handlers);
        ++generation_;
    }
    void stop() override {
        ++generation_;
        handlers_ = {};
    }
    void confirmDepartures(const std::set<std::string>& deviceIdentifiers) override { confirmed = deviceIdentifiers; }

    void deliver(std::string type, std::vector<BrowsedService> results) {
        later([this, type = std::move(type), results = std::move(results)] { handlers_.results(type, results); });
    }
    void fail(std::string description, ServiceBrowserState::Kind kind = ServiceBrowserState::Kind::failed) {
        later([this, kind, text = std::move(description)] {
            handlers_.state({.kind = kind, .description = text, .dnsErrorCode = {}});
        });
    }

    std::vector<std::string> startedTypes;
    std::set<std::string> confirmed;

private:
    template <typename Work>
    void later(Work work) {
        loop_.post([this, generation = generation_, work = std::move(work)] {
            if (generation == generation_ && handlers_.results) work();
        });
    }

    EventLoop& loop_;
    Handlers handlers_;
    int generation_ = 0;
};

}  // namespace corvane
