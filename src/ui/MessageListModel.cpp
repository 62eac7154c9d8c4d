// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageListModel.h"

#include "app/CorvaneModel.h"

namespace corvane {

MessageListModel::MessageListModel(const CorvaneModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model) {}

void MessageListModel::refresh() {
    const auto& messages = model_.messages();
    const bool extends = messages.size() >= rows_.size() &&
                         (rows_.empty() || messages[rows_.size() - 1].id == rows_.back().id);
    const auto rowOf = [](const MeshMessage& message) {
        return Row{message.id, QString::fromStdString(message.text), message.sender, message.channel,
                   message.isOutgoing};
    };
    if (!extends) {
        beginResetModel();
        rows_.clear();
        senderNames_.clear();
        channelNames_.clear();
        for (const auto& message : messages) rows_.push_back(rowOf(message));
        refreshNames(0);
        endResetModel();
        return;
    }
    if (messages.size() > rows_.size()) {
        const std::size_t first = rows_.size();
        beginInsertRows({}, static_cast<int>(first), static_cast<int>(messages.size()) - 1);
        for (std::size_t i = first; i < messages.size(); ++i) rows_.push_back(rowOf(messages[i]));
        const bool renamed = refreshNames(first);
        endInsertRows();
        if (renamed && first > 0) emit dataChanged(index(0), index(static_cast<int>(first) - 1), {SenderRole, ChannelRole});
        return;
    }
    if (refreshNames(rows_.size()) && !rows_.empty()) emit dataChanged(index(0), index(rowCount() - 1), {SenderRole, ChannelRole});
}

// Re-reads the name of every sender and channel the rows use; true when one
// of them changed.
bool MessageListModel::refreshNames(std::size_t firstNew) {
    std::map<std::uint32_t, QString> senders;
    std::map<std::uint32_t, QString> channels;
    for (const auto& [number, name] : senderNames_) senders.emplace(number, QString());
    for (const auto& [number, name] : channelNames_) channels.emplace(number, QString());
    // Rows from `firstNew` on bring their numbers in; the maps stay small
    // however many messages there are.
    for (std::size_t i = firstNew; i < rows_.size(); ++i) {
        senders.emplace(rows_[i].sender, QString());
        channels.emplace(rows_[i].channel, QString());
    }
    for (auto& [number, name] : senders) name = QString::fromStdString(model_.displayName(number));
    for (auto& [number, name] : channels) {
        const auto found = model_.channels().find(number);
        if (found != model_.channels().end()) name = QString::fromStdString(found->second);
    }
    const bool changed = senders != senderNames_ || channels != channelNames_;
    senderNames_ = std::move(senders);
    channelNames_ = std::move(channels);
    return changed;
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole: return row.text;
    case Qt::AccessibleTextRole: return senderNames_.at(row.sender) + ": " + row.text;
    case SenderRole: return senderNames_.at(row.sender);
    case ChannelRole: return channelNames_.at(row.channel);
    case OutgoingRole: return row.outgoing;
    default: return {};
    }
}

}  // namespace corvane
