// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MessagesAlertSender.h"

#include "core/TextTrim.h"

namespace corvane {

std::string MessagesAlertSender::escaped(std::string_view text) {
    // One pass is equivalent to the four replacements applied in order
    // (backslash first), because each later replacement only inserts
    // backslashes that must not be doubled.
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

std::string MessagesAlertSender::script(std::string_view text, std::string_view recipient) {
    return "tell application \"Messages\"\n"
           "    set targetService to first service whose service type = iMessage\n"
           "    set targetRecipient to buddy \"" +
           escaped(recipient) +
           "\" of targetService\n"
           "    send \"" +
           escaped(text) +
           "\" to targetRecipient\n"
           "end tell";
}

Result<Done, MessagesAlertError> MessagesAlertSender::send(std::string_view text, std::string_view recipient,
                                                           ScriptRunner& runner) {
    const std::string trimmed = trimmedWhitespaceAndNewlines(recipient);
    if (trimmed.empty()) return fail(MessagesAlertError::missingRecipient());
    const ScriptOutcome outcome = runner.run(script(text, trimmed));
    switch (outcome.kind) {
    case ScriptOutcome::Kind::ran: return Done{};
    case ScriptOutcome::Kind::notCreated:
        return fail(MessagesAlertError::scriptFailed("The automation script could not be created."));
    case ScriptOutcome::Kind::failed:
        return fail(MessagesAlertError::scriptFailed(outcome.errorMessage.value_or("Unknown automation error.")));
    }
    return Done{};
}

}  // namespace corvane
