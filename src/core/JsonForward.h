#pragma once
// Lets record headers name the decoded-JSON element type without including
// simdjson everywhere.
namespace simdjson::dom {
class element;
}
