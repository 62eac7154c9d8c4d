// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one "something changed" signal a long-lived object publishes: observers
// subscribe and re-read the fields they show. A Subscription is an RAII
// handle; dropping it unsubscribes, also after the signal itself is gone.
// Observers may subscribe or unsubscribe from inside a notification. Loop
// thread only.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace corvane {

class ChangeSignal {
    struct Observers {
        std::map<std::uint64_t, std::function<void()>> callbacks;
        std::uint64_t next = 0;
    };

public:
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept {
            reset();
            observers_ = std::move(other.observers_);
            id_ = other.id_;
            return *this;
        }
        ~Subscription() { reset(); }

        void reset() {
            if (const auto observers = observers_.lock()) observers->callbacks.erase(id_);
            observers_.reset();
        }

    private:
        friend class ChangeSignal;
        Subscription(std::weak_ptr<Observers> observers, std::uint64_t id)
            : observers_(std::move(observers)), id_(id) {}

        std::weak_ptr<Observers> observers_;
        std::uint64_t id_ = 0;
    };

    [[nodiscard]] Subscription subscribe(std::function<void()> callback) {
        const std::uint64_t id = observers_->next++;
        observers_->callbacks.emplace(id, std::move(callback));
        return Subscription(observers_, id);
    }

    void notify() const {
        // Keep the set alive and walk a snapshot of ids: an observer may drop
        // its own or another's subscription while being notified.
        const auto observers = observers_;
        std::uint64_t last = observers->next;
        for (auto it = observers->callbacks.begin(); it != observers->callbacks.end() && it->first < last;) {
            const std::uint64_t id = it->first;
            auto callback = it->second;
            callback();
            it = observers->callbacks.upper_bound(id);
        }
    }

private:
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

}  // namespace corvane
