// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A double as the shortest decimal text that reads back as the same value,
// with a fractional part always present ("1772357400.0", "0.25"). Used where
// a time becomes part of a notification identifier.
#include <string>

namespace corvane {

std::string doubleDescription(double value);

}  // namespace corvane
