// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The phones paired with this computer and a way to show a line of text on
// one of them (KDE Connect's ping with a message, in production).
//
// Contract for every implementation and fake:
// - `phones()` lists the paired phones only, each with its current
//   reachability; it is empty while the service is not running;
// - the observer runs on the loop after `isRunning()` or `phones()` changed
//   (never inside a call the application made);
// - `send` never blocks; `done` runs later on the loop, exactly once, with
//   the service's error text when the text was not handed over. It is not
//   called after the channel is destroyed. A phone that is not reachable
//   may drop the text without an error, so callers send only to reachable
//   phones.
// Loop thread only.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct PairedPhone {
    std::string id;
    std::string name;
    bool reachable = false;

    friend bool operator==(const PairedPhone&, const PairedPhone&) = default;
};

class PhoneAlertChannel {
public:
    // Absent error: the service took the text.
    using Completion = std::function<void(const std::optional<std::string>& error)>;

    virtual ~PhoneAlertChannel() = default;

    virtual bool isRunning() const = 0;
    virtual const std::vector<PairedPhone>& phones() const = 0;
    virtual void setObserver(std::function<void()> observer) = 0;
    virtual void send(const std::string& phoneID, const std::string& text, Completion done) = 0;
};

}  // namespace corvane
