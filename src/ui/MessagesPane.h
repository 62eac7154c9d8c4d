// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Meshtastic messages: the conversation oldest first, and below it the
// recipient and channel pickers, the text field and the send button. New
// messages scroll into view unless the user has scrolled up to read.
#include <QWidget>
#include <cstdint>
#include <vector>

#include "ui/ComboChoices.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QToolButton;

namespace corvane {

class CorvaneModel;
class PlaceholderStack;
class MessageListModel;

class MessagesPane : public QWidget {
    Q_OBJECT
public:
    explicit MessagesPane(CorvaneModel& model, QWidget* parent = nullptr);

    void refresh();
    // Empties the field, then sends what was typed; blank text does nothing.
    void sendDraft();
    void focusDraft();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refreshRecipients();
    void refreshChannels();
    void refreshDraftState();

    CorvaneModel& model_;
    MessageListModel* messages_;
    PlaceholderStack* pages_;
    QListView* view_;
    QComboBox* recipient_;
    QComboBox* channel_;
    QLineEdit* draft_;
    QToolButton* send_;
    QLabel* tooLong_;
    bool scrolledOnce_ = false;
    std::vector<ComboChoice> shownRecipients_;
    std::vector<ComboChoice> shownChannels_;
};

}  // namespace corvane
