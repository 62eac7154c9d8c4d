// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything one MeshRadio completion was given, for the unit and the
// integration tests of MeshRadio: hand `callback()` to a request, read the
// outcome later. Shared, so a fixture's helpers can start a request and hand
// its outcome back.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "app/MeshRadio.h"

namespace corvane {

template <typename T>
struct Outcome {
    std::optional<Result<T, MeshRadioError>> result;
    int calls = 0;

    MeshRadio::Completion<T> callback() {
        return [this](Result<T, MeshRadioError> value) { ++calls, result.emplace(std::move(value)); };
    }
    bool succeeded() const { return calls == 1 && result->ok(); }
    // Exactly one call, a failure of `kind` and, when given, this description.
    ::testing::AssertionResult failedWith(MeshRadioError::Kind kind, std::string_view description = {}) const {
        if (calls != 1 || result->ok()) return ::testing::AssertionFailure() << calls << " calls, no failure";
        const auto& error = result->error();
        if (error.kind() == kind && (description.empty() || error.description() == description)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "failed otherwise: " << error.description();
    }
};
template <typename T>
using Pending = std::shared_ptr<Outcome<T>>;

}  // namespace corvane
