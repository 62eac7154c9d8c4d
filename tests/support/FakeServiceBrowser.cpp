#include "support/FakeServiceBrowser.h"

#include <utility>

namespace corvane {

void FakeServiceBrowser::start(const std::vector<std::string>& serviceTypes, Handlers handlers) {
    startedTypes = serviceTypes;
    handlers_ = std::move(handlers);
    running_ = true;
    ++starts;
}

void FakeServiceBrowser::stop() {
    running_ = false;
    ++generation_;
}

void FakeServiceBrowser::confirmDepartures(const std::set<std::string>& deviceIdentifiers) {
    confirmed = deviceIdentifiers;
}

void FakeServiceBrowser::deliver(const std::string& serviceType, std::vector<BrowsedService> results) {
    loop_.post([this, generation = generation_, serviceType, results = std::move(results)] {
        if (running_ && generation == generation_) handlers_.results(serviceType, results);
    });
}

void FakeServiceBrowser::fail(const std::string& description) {
    loop_.post([this, generation = generation_, description] {
        if (running_ && generation == generation_) handlers_.state({.description = description, .dnsErrorCode = std::nullopt});
    });
}

}  // namespace corvane
