// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why an iMessage alert could not be sent, with the text shown to the user.
#include <string>

namespace corvane {

class MessagesAlertError {
public:
    enum class Kind { scriptFailed, missingRecipient };

    static MessagesAlertError scriptFailed(std::string detail) { return {Kind::scriptFailed, std::move(detail)}; }
    static MessagesAlertError missingRecipient() { return {Kind::missingRecipient, {}}; }

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }
    std::string description() const;

    friend bool operator==(const MessagesAlertError&, const MessagesAlertError&) = default;

private:
    MessagesAlertError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind_;
    std::string detail_;
};

}  // namespace corvane
