// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Splits a byte stream that arrives in arbitrary chunks into lines at LF, CR or
// CRLF (a CRLF split across two chunks is one break). Empty lines are skipped;
// `finish` yields a last unterminated line. A line longer than `maxLineLength`
// bytes is dropped whole without being held in memory.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace corvane {

class LineSplitter {
public:
    using LineHandler = std::function<void(std::string_view)>;
    static constexpr std::size_t kDefaultMaxLineLength = std::size_t{1} << 20;

    explicit LineSplitter(std::size_t maxLineLength = kDefaultMaxLineLength);

    void feed(std::string_view chunk, const LineHandler& onLine);
    void finish(const LineHandler& onLine);

private:
    void endLine(const LineHandler& onLine);
    void take(std::string_view part);

    std::size_t maxLineLength_;
    std::string pending_;
    bool overlong_ = false;
    bool afterCarriageReturn_ = false;
};

}  // namespace corvane
