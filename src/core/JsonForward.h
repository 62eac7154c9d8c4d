// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lets record headers name the decoded-JSON element type without including
// simdjson everywhere.
namespace simdjson::dom {
class element;
}
