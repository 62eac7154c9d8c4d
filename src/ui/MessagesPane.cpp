// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessagesPane.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/CorvaneModel.h"
#include "core/MeshTextLimit.h"
#include "core/TextTrim.h"
#include "ui/ComboChoices.h"
#include "ui/EmptyState.h"
#include "ui/MessageBubbleDelegate.h"
#include "ui/MessageListModel.h"
#include "ui/NegativeText.h"
#include "ui/PlaceholderStack.h"
#include "ui/SymbolIcon.h"

namespace corvane {
namespace {

constexpr qlonglong kEveryone = -1;

}  // namespace

MessagesPane::MessagesPane(CorvaneModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      messages_(new MessageListModel(model, this)),
      pages_(new PlaceholderStack),
      view_(new QListView),
      recipient_(new QComboBox),
      channel_(new QComboBox),
      draft_(new QLineEdit),
      send_(new QToolButton),
      tooLong_(new QLabel) {
    pages_->placeholder().setObjectName(QStringLiteral("messagesEmpty"));
    pages_->placeholder().setContent(QStringLiteral("message"), QStringLiteral("No messages yet"),
                                     QStringLiteral("Messages received by the connected Meshtastic radio will appear here."));
    view_->setObjectName(QStringLiteral("messageList"));
    view_->setAccessibleName(QStringLiteral("Messages"));
    view_->setModel(messages_);
    view_->setItemDelegate(new MessageBubbleDelegate(view_));
    view_->setSelectionMode(QAbstractItemView::NoSelection);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setResizeMode(QListView::Adjust);
    view_->setLayoutMode(QListView::Batched);
    view_->setFrameShape(QFrame::NoFrame);
    pages_->addWidget(view_);

    recipient_->setObjectName(QStringLiteral("recipientPicker"));
    recipient_->setAccessibleName(QStringLiteral("Recipient"));
    recipient_->setMinimumContentsLength(14);
    channel_->setObjectName(QStringLiteral("channelPicker"));
    channel_->setAccessibleName(QStringLiteral("Channel"));
    channel_->setMinimumContentsLength(14);
    draft_->setObjectName(QStringLiteral("messageField"));
    draft_->setPlaceholderText(QStringLiteral("Message"));
    draft_->setAccessibleName(QStringLiteral("Message"));
    send_->setObjectName(QStringLiteral("sendButton"));
    send_->setIcon(SymbolIcon::icon(QStringLiteral("arrow.up.circle.fill"), QPalette::Highlight));
    send_->setIconSize(QSize(24, 24));
    send_->setToolTip(QStringLiteral("Send message"));
    send_->setAccessibleName(QStringLiteral("Send message"));
    send_->setAutoRaise(true);

    connect(recipient_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const qlonglong value = recipient_->itemData(index).toLongLong();
        model_.setMessageRecipient(value == kEveryone ? std::nullopt
                                                      : std::optional<std::uint32_t>(static_cast<std::uint32_t>(value)));
    });
    connect(channel_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_.setMessageChannel(static_cast<std::uint32_t>(channel_->itemData(index).toLongLong()));
    });
    connect(draft_, &QLineEdit::returnPressed, this, &MessagesPane::sendDraft);
    connect(draft_, &QLineEdit::textChanged, this, &MessagesPane::refreshDraftState);
    tooLong_->setObjectName(QStringLiteral("messageTooLong"));
    tooLong_->setWordWrap(true);
    tooLong_->hide();
    connect(send_, &QToolButton::clicked, this, &MessagesPane::sendDraft);
    send_->setEnabled(false);

    // The pickers above the field: beside them the field was left a sliver
    // of the pane, too short for a sentence.
    auto* addressing = new QHBoxLayout;
    auto* recipientLabel = new QLabel(QStringLiteral("Recipient"));
    recipientLabel->setBuddy(recipient_);
    auto* channelLabel = new QLabel(QStringLiteral("Channel"));
    channelLabel->setBuddy(channel_);
    addressing->addWidget(recipientLabel);
    addressing->addWidget(recipient_, 1);
    addressing->addSpacing(8);
    addressing->addWidget(channelLabel);
    addressing->addWidget(channel_, 1);
    auto* writing = new QHBoxLayout;
    writing->addWidget(draft_, 1);
    writing->addWidget(send_);
    auto* compose = new QVBoxLayout;
    compose->setContentsMargins(10, 6, 10, 10);
    compose->addLayout(addressing);
    compose->addLayout(writing);
    compose->addWidget(tooLong_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pages_, 1);
    layout->addLayout(compose);
    refresh();
}

void MessagesPane::refresh() {
    QScrollBar* bar = view_->verticalScrollBar();
    const bool followEnd = !scrolledOnce_ || bar->value() >= bar->maximum() - 4;
    const int before = messages_->rowCount();
    messages_->refresh();
    if (messages_->rowCount() == 0) {
        pages_->showPlaceholder();
    } else {
        pages_->setCurrentWidget(view_);
    }
    if (messages_->rowCount() != before && followEnd && view_->isVisible()) {
        view_->scrollToBottom();
        scrolledOnce_ = true;
    }
    refreshRecipients();
    refreshChannels();
    refreshDraftState();
}

// The limit depends on the recipient, so a change of recipient can make a
// waiting draft too long, or short enough.
void MessagesPane::refreshDraftState() {
    const std::string trimmed = trimmedWhitespaceAndNewlines(draft_->text().toStdString());
    const auto tooLong = meshTextTooLong(trimmed, model_.messageRecipient());
    send_->setEnabled(!trimmed.empty() && !tooLong);
    tooLong_->setVisible(tooLong.has_value());
    if (!tooLong) return;
    tooLong_->setText(QString::fromStdString(*tooLong));
    QPalette palette = tooLong_->palette();
    palette.setColor(QPalette::WindowText, negativeTextColor(palette));
    tooLong_->setPalette(palette);
}

void MessagesPane::refreshRecipients() {
    std::vector<ComboChoice> entries{{QStringLiteral("Everyone"), kEveryone}};
    bool listed = !model_.messageRecipient();
    for (const auto& node : model_.nodes()) {
        entries.emplace_back(QString::fromStdString(model_.displayName(node.number)), qlonglong(node.number));
        listed = listed || node.number == *model_.messageRecipient();
    }
    if (!listed)
        entries.emplace_back(QString::fromStdString(model_.displayName(*model_.messageRecipient())),
                             qlonglong(*model_.messageRecipient()));
    showChoices(*recipient_, shownRecipients_, std::move(entries), model_.messageRecipient() ? qlonglong(*model_.messageRecipient()) : kEveryone);
}

void MessagesPane::refreshChannels() {
    std::vector<ComboChoice> entries;
    for (const auto& [index, name] : model_.channels())
        entries.emplace_back(name.empty() ? QStringLiteral("Channel %1").arg(index)
                                          : QStringLiteral("Channel %1 · %2").arg(index).arg(QString::fromStdString(name)),
                             qlonglong(index));
    if (!model_.channels().count(model_.messageChannel()))
        entries.emplace_back(QStringLiteral("Channel %1").arg(model_.messageChannel()), qlonglong(model_.messageChannel()));
    showChoices(*channel_, shownChannels_, std::move(entries), qlonglong(model_.messageChannel()));
}

void MessagesPane::sendDraft() {
    const QString text = draft_->text();
    if (text.trimmed().isEmpty() || !send_->isEnabled()) return;
    draft_->clear();
    model_.sendMessage(text.toStdString());
}

// The conversation opens at its newest message.
void MessagesPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (scrolledOnce_ || messages_->rowCount() == 0) return;
    view_->scrollToBottom();
    scrolledOnce_ = true;
}

void MessagesPane::focusDraft() { draft_->setFocus(); }

}  // namespace corvane
