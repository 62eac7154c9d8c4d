// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that writes files under the user's folders. Every write is
// private and atomic: missing folders are created 0700, the bytes go to a
// 0600 temp file beside the target, are flushed to disk, renamed over the
// target, and the folder entry is flushed too, so a crash leaves either the
// old file or the new one, never a torn mix. Reads tell a missing file apart
// from one that exists but cannot be read, and a file that does not decode
// can be kept aside instead of being thrown away. Reads take only regular
// files of bounded size: a FIFO, a device or a runaway file in a store's place
// must neither block the loop nor exhaust memory.
//
// Stateless functions; safe from any thread, though two writers of one path
// race as rename does (the last rename wins, each result is whole).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/DateTime.h"
#include "core/Result.h"

namespace corvane {

struct FileError {
    // errno of the failing call, 0 when the failure is not a system error.
    int code = 0;
    // Readable, with the path and the system's errno text.
    std::string message;
};

// What identifies one version of a file cheaply: a file replaced by rename
// gets a new inode, one rewritten in place a new size or modification time.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class PrivateFile {
public:
    enum class ReadFailure { missing, unreadable };
    struct ReadError {
        ReadFailure kind = ReadFailure::missing;
        FileError detail;
    };

    // Far above what the capped stores and the settings file ever hold.
    static constexpr std::size_t kReadLimit = 64 * 1024 * 1024;

    // Replaces `path` with `bytes` atomically, creating missing parent
    // folders (0700). Only folders created here get their mode set. Returns
    // the identity of the file written, taken before it was renamed into
    // place, so that a replacement by someone else right after is noticed.
    static Result<FileIdentity, FileError> write(const std::string& path, std::string_view bytes);
    // As write, for a large file rewritten again and again: the new bytes go
    // into a spare copy beside the target (".NAME.spare", the version before
    // last, 0600), which is flushed and then exchanged with the target in one
    // rename, so the target is still only ever replaced whole. Overwriting
    // blocks that are already allocated, instead of allocating a new file and
    // freeing the old one, halves the time the disk takes. The price: the
    // replaced version stays on disk as the next spare, and a reader that
    // keeps it open past the following write sees that write. A spare that is
    // not a plain private file of ours alone (a link, or one with other
    // names) is never written into; write() is used then.
    static Result<FileIdentity, FileError> writeReusingSpare(const std::string& path, std::string_view bytes);
    // As write, but leaves the file untouched when it already holds exactly
    // `bytes` with private permissions.
    static Result<Done, FileError> writeIfChanged(const std::string& path, std::string_view bytes);

    // The whole content of a regular file of at most kReadLimit bytes;
    // anything else is unreadable. `identity`, when given, receives the
    // identity of the file actually read.
    static Result<std::string, ReadError> read(const std::string& path, FileIdentity* identity = nullptr);

    // Removes what interrupted writes of `path` left beside it: the temporary
    // files named as write names them. Whoever owns `path` calls this once,
    // before its first write; a write of the same path still in progress
    // elsewhere would fail and is meant to be impossible. Returns how many
    // were removed.
    static std::size_t removeStaleTemporaries(const std::string& path);

    // Renames `path` to "NAME.corrupt-<unix seconds of now>" beside it; when
    // that name is taken, "-1", "-2"... are added, so no kept file is ever
    // replaced. Returns the new path.
    static Result<std::string, FileError> keepAside(const std::string& path,
                                                    Timestamp now = std::chrono::system_clock::now());

    // Absent when the path does not exist or cannot be examined.
    static std::optional<FileIdentity> identity(const std::string& path);
};

}  // namespace corvane
