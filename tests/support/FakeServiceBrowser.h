#pragma once
// A ServiceBrowser driven by the test: it records what was asked of it and
// delivers result sets and failures when the test says so, like the real one
// after start() and never after stop(). Delivery is posted to the loop, as the
// contract requires, so a test runs the loop to see the effect.
#include <set>
#include <string>
#include <vector>

#include "app/ports/EventLoop.h"
#include "app/ports/ServiceBrowser.h"

namespace corvane {

class FakeServiceBrowser final : public ServiceBrowser {
public:
    explicit FakeServiceBrowser(EventLoop& loop) : loop_(loop) {}

    void start(const std::vector<std::string>& serviceTypes, Handlers handlers) override;
    void stop() override;
    void confirmDepartures(const std::set<std::string>& deviceIdentifiers) override;

    // Posts the whole current set of `serviceType`.
    void deliver(const std::string& serviceType, std::vector<BrowsedService> results);
    void fail(const std::string& description);

    bool running() const { return running_; }
    std::vector<std::string> startedTypes;
    std::set<std::string> confirmed;
    int starts = 0;

private:
    EventLoop& loop_;
    Handlers handlers_;
    bool running_ = false;
    // Bumped by stop(): work posted before it is dropped.
    int generation_ = 0;
};

}  // namespace corvane
