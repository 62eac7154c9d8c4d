// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A persistent log of records kept as one pretty-printed JSON array, oldest
// first: the engine behind PositionStore and MessageStore, which differ only in
// their record type, decoder and duplicate rule.
//
// Every append behaves as if it re-read and re-wrote the whole file, so a file
// replaced or edited behind the store's back is honoured on the next call. To
// keep that cheap, the store caches the decoded records and each record's
// encoded text, keyed by the identity (device, inode, size, modification
// time) of the file it last read or wrote; only a changed identity costs a
// re-read. An existing file that does not decode loads as empty and is kept
// aside (PrivateFile::keepAside) before the first append replaces it, and so
// is anything in the file's place that is not a regular file of sane size.
// Being the largest files we write, and rewritten at every append, they are
// written with PrivateFile::writeReusingSpare.
//
// Owned by the model; used from one thread (the event loop), except that a
// reader() may run on another thread and hand its snapshot back for adopt().
// Not copyable.
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/JsonForward.h"
#include "core/PrivateFile.h"
#include "core/Result.h"

namespace corvane {

template <typename Record>
class RecordFileStore {
public:
    using Decoder = std::optional<Record> (*)(const simdjson::dom::element&);
    // True when `candidate` must not be written, given the stored records.
    using DuplicateRule = bool (*)(const std::deque<Record>& stored, const Record& candidate);

    RecordFileStore(std::string url, Decoder decoder, DuplicateRule isDuplicate);
    RecordFileStore(const RecordFileStore&) = delete;
    RecordFileStore& operator=(const RecordFileStore&) = delete;

    // What one read of the file found: the decoded records and the identity
    // of the bytes they came from.
    struct Snapshot {
        std::optional<FileIdentity> identity;
        bool damaged = false;
        std::vector<Record> records;
    };

    const std::string& url() const { return url_; }

    // Reads and decodes the file; shares nothing with the store, so it may
    // run on any thread, even after the store is gone.
    std::function<Snapshot()> reader() const;
    // Takes a reader's snapshot as the cached state. Should the file have
    // changed since, the next call re-reads it as usual.
    void adopt(Snapshot snapshot);

    // The records on file, oldest first; empty when the file is missing,
    // unreadable or undecodable.
    std::vector<Record> load();

    // Adds `record` unless the duplicate rule refuses it, then drops the
    // oldest records beyond `maximumCount`. Errors are those of encoding,
    // folder creation, keeping a damaged file aside and writing; the file is
    // unchanged after an error.
    Result<Done, FileError> append(const Record& record, std::size_t maximumCount);

    // The whole-file codec: absent when the text is not a JSON array or any
    // element fails to decode; encoding fails on an unencodable record.
    static std::optional<std::vector<Record>> decodeFile(std::string_view text, Decoder decoder);
    static std::optional<std::string> encodeFile(const std::vector<Record>& records);

private:
    static Snapshot read(const std::string& url, Decoder decoder);
    void refresh();
    void ensureFragments();

    std::string url_;
    Decoder decoder_;
    DuplicateRule isDuplicate_;

    bool cached_ = false;
    std::optional<FileIdentity> identity_;
    // The file exists but did not decode; keep it before replacing it.
    bool damaged_ = false;
    std::deque<Record> records_;
    // Pretty text of records_[i] at array depth; filled lazily, since a
    // store that is only loaded never needs it.
    std::deque<std::string> fragments_;
    bool fragmentsValid_ = false;
    // Temporary files left by a write that a crash cut short are cleared
    // once, before this store's first write.
    bool wroteBefore_ = false;
};

}  // namespace corvane
