// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/RecordFileStore.h"

#include <cerrno>
#include <iterator>

#include "core/JsonRead.h"
#include "core/JsonWriter.h"
#include "core/MeshMessage.h"
#include "core/MeshPosition.h"

namespace corvane {
namespace {

template <typename Record>
std::optional<std::string> encodeFragment(const Record& record) {
    JsonWriter writer(JsonWriter::Style::pretty, 1);
    encodeJson(writer, record);
    if (writer.failed()) return std::nullopt;
    return writer.take();
}

}  // namespace

template <typename Record>
RecordFileStore<Record>::RecordFileStore(std::string url, Decoder decoder, DuplicateRule isDuplicate)
    : url_(std::move(url)), decoder_(decoder), isDuplicate_(isDuplicate) {}

template <typename Record>
std::optional<std::vector<Record>> RecordFileStore<Record>::decodeFile(std::string_view text, Decoder decoder) {
    return json::parseDocument(text, [&](const json::Element& root) -> std::optional<std::vector<Record>> {
        simdjson::dom::array array;
        if (root.get_array().get(array) != simdjson::SUCCESS) return std::nullopt;
        std::vector<Record> records;
        records.reserve(array.size());
        for (const json::Element element : array) {
            auto record = decoder(element);
            if (!record) return std::nullopt;
            records.push_back(std::move(*record));
        }
        return records;
    });
}

template <typename Record>
std::optional<std::string> RecordFileStore<Record>::encodeFile(const std::vector<Record>& records) {
    JsonWriter writer(JsonWriter::Style::pretty);
    writer.beginArray();
    for (const Record& record : records) encodeJson(writer, record);
    writer.endArray();
    if (writer.failed()) return std::nullopt;
    return writer.take();
}

template <typename Record>
typename RecordFileStore<Record>::Snapshot RecordFileStore<Record>::read(const std::string& url, Decoder decoder) {
    Snapshot snapshot;
    snapshot.identity = PrivateFile::identity(url);
    if (!snapshot.identity) return snapshot;
    // The identity of what is actually read, should the file change between
    // the look above and the read.
    const auto bytes = PrivateFile::read(url, &*snapshot.identity);
    auto decoded = bytes ? decodeFile(*bytes, decoder) : std::nullopt;
    if (!decoded) {
        snapshot.damaged = !(!bytes && bytes.error().kind == PrivateFile::ReadFailure::missing);
        return snapshot;
    }
    snapshot.records = std::move(*decoded);
    return snapshot;
}

template <typename Record>
std::function<typename RecordFileStore<Record>::Snapshot()> RecordFileStore<Record>::reader() const {
    return [url = url_, decoder = decoder_] { return read(url, decoder); };
}

template <typename Record>
void RecordFileStore<Record>::adopt(Snapshot snapshot) {
    cached_ = true;
    identity_ = snapshot.identity;
    damaged_ = snapshot.damaged;
    records_.assign(std::make_move_iterator(snapshot.records.begin()), std::make_move_iterator(snapshot.records.end()));
    fragments_.clear();
    fragmentsValid_ = false;
}

template <typename Record>
void RecordFileStore<Record>::refresh() {
    if (cached_ && PrivateFile::identity(url_) == identity_) return;
    adopt(read(url_, decoder_));
}

template <typename Record>
void RecordFileStore<Record>::ensureFragments() {
    if (fragmentsValid_) return;
    fragments_.clear();
    for (const Record& record : records_) {
        // Whatever decoded holds finite numbers and valid UTF-8, so it encodes.
        fragments_.push_back(encodeFragment(record).value_or(std::string()));
    }
    fragmentsValid_ = true;
}

template <typename Record>
std::vector<Record> RecordFileStore<Record>::load() {
    refresh();
    return {records_.begin(), records_.end()};
}

template <typename Record>
Result<Done, FileError> RecordFileStore<Record>::append(const Record& record, std::size_t maximumCount) {
    refresh();
    if (isDuplicate_(records_, record)) return Done{};
    auto fragment = encodeFragment(record);
    if (!fragment) return fail(FileError{EINVAL, "cannot encode a record for " + url_});
    ensureFragments();

    const std::size_t count = records_.size() + 1;
    const std::size_t dropped = count > maximumCount ? count - maximumCount : 0;
    std::size_t length = fragment->size() + 8;
    for (std::size_t i = dropped; i < records_.size(); ++i) length += fragments_[i].size() + 4;
    JsonWriter writer(JsonWriter::Style::pretty);
    writer.text().reserve(length);
    writer.beginArray();
    for (std::size_t i = dropped; i < records_.size(); ++i) writer.raw(fragments_[i]);
    if (dropped <= records_.size()) writer.raw(*fragment);
    writer.endArray();

    if (!wroteBefore_) {
        PrivateFile::removeStaleTemporaries(url_);
        wroteBefore_ = true;
    }
    if (damaged_ && identity_) {
        const auto kept = PrivateFile::keepAside(url_);
        if (!kept) return fail(kept.error());
        damaged_ = false;
        identity_.reset();
    }
    const auto written = PrivateFile::writeReusingSpare(url_, writer.text());
    if (!written) return fail(written.error());

    records_.push_back(record);
    fragments_.push_back(std::move(*fragment));
    for (std::size_t i = 0; i < dropped; ++i) {
        records_.pop_front();
        fragments_.pop_front();
    }
    identity_ = *written;
    return Done{};
}

template class RecordFileStore<MeshPosition>;
template class RecordFileStore<MeshMessage>;

}  // namespace corvane
