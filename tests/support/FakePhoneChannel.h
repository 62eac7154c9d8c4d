// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A PhoneAlertChannel for unit tests: the test sets the service's state and
// phones with `update` (which tells the observer, as the daemon's signals
// would), and answers the recorded sends itself with `complete`.
#include <optional>
#include <string>
#include <vector>

#include "app/ports/PhoneAlertChannel.h"

namespace corvane {

class FakePhoneChannel final : public PhoneAlertChannel {
public:
    struct Sent {
        std::string phoneID;
        std::string text;
        Completion done;
    };

    bool isRunning() const override { return running; }
    const std::vector<PairedPhone>& phones() const override { return list; }
    void setObserver(std::function<void()> changed) override { observer = std::move(changed); }
    void send(const std::string& phoneID, const std::string& text, Completion done) override {
        sent.push_back({phoneID, text, std::move(done)});
    }

    void update(std::vector<PairedPhone> phones, bool isRunning = true) {
        list = std::move(phones);
        running = isRunning;
        if (observer) observer();
    }
    // Answers the oldest send not yet answered.
    void complete(std::optional<std::string> error = std::nullopt) {
        auto& next = sent.at(answered++);
        next.done(error);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& each : sent) result.push_back(each.text);
        return result;
    }

    bool running = true;
    std::vector<PairedPhone> list;
    std::function<void()> observer;
    std::vector<Sent> sent;
    std::size_t answered = 0;
};

}  // namespace corvane
