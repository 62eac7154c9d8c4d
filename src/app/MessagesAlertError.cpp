// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MessagesAlertError.h"

namespace corvane {

std::string MessagesAlertError::description() const {
    switch (kind_) {
    case Kind::scriptFailed: return "Messages could not send the alert: " + detail_;
    case Kind::missingRecipient: return "Enter an iPhone phone number or Apple Account email address first.";
    }
    return {};
}

}  // namespace corvane
