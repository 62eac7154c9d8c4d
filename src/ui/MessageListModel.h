// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The model's messages as a list for the message view, oldest first. The
// model's list only grows, so a refresh appends rows; names of senders and
// channels are kept per number and repainted when they change.
#include <QAbstractListModel>
#include <cstdint>
#include <map>
#include <vector>

#include "core/Uuid.h"

namespace corvane {

class CorvaneModel;

class MessageListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { SenderRole = Qt::UserRole + 1, ChannelRole, OutgoingRole };

    explicit MessageListModel(const CorvaneModel& model, QObject* parent = nullptr);

    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Row {
        Uuid id;
        QString text;
        std::uint32_t sender = 0;
        std::uint32_t channel = 0;
        bool outgoing = false;
    };

    bool refreshNames(std::size_t firstNew);

    const CorvaneModel& model_;
    std::vector<Row> rows_;
    std::map<std::uint32_t, QString> senderNames_;
    std::map<std::uint32_t, QString> channelNames_;
};

}  // namespace corvane
