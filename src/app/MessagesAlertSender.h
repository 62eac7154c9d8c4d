// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sends an alert as an iMessage by building the Messages automation script
// and handing it to a ScriptRunner. Stateless; called on the loop thread and
// synchronous, like the script it runs.
#include <string>
#include <string_view>

#include "app/MessagesAlertError.h"
#include "app/ports/ScriptRunner.h"
#include "core/Result.h"

namespace corvane {

class MessagesAlertSender {
public:
    static Result<Done, MessagesAlertError> send(std::string_view text, std::string_view recipient,
                                                 ScriptRunner& runner);

    // The script for an already trimmed, non-empty recipient.
    static std::string script(std::string_view text, std::string_view recipient);
    // Backslash, double quote, CR and LF escaped for a quoted script string.
    static std::string escaped(std::string_view text);
};

}  // namespace corvane
