// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Streaming JSON writer in the conventions our files and the bridge expect:
// "/" escaped as "\/", floats in their shortest round-trip form (a 32-bit float
// is written as the 32-bit value, 0.1f as 0.1), and a pretty style of two-space
// indents with " : " between key and value. Written by hand because no Debian
// JSON library offers these conventions together.
//
// Writing a non-finite number or a string that is not valid UTF-8 marks the
// writer failed; the caller must then discard the output.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class JsonWriter {
public:
    enum class Style { compact, pretty };

    // `depth` lets a pretty fragment be written for later splicing into an
    // enclosing array at that nesting level.
    explicit JsonWriter(Style style = Style::compact, int depth = 0);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);

    void string(std::string_view value);
    void unsignedInteger(std::uint64_t value);
    void integer(std::int64_t value);
    void boolean(bool value);
    void number(double value);
    void number(float value);
    // A value already encoded in this writer's style at the current depth.
    void raw(std::string_view encoded);

    bool failed() const { return failed_; }
    std::string& text() { return out_; }
    std::string take() { return std::move(out_); }

private:
    void beforeValue();
    template <typename Float>
    void finiteNumber(Float value);
    void newline();

    Style style_;
    int depth_;
    bool afterKey_ = false;
    std::vector<bool> hasMembers_;
    bool failed_ = false;
    std::string out_;
};

}  // namespace corvane
