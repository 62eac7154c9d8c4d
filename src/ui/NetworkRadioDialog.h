// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asks for a radio reached over the network: its host name or address and,
// optionally, a port. Accepts only a name the bridge can connect to; the
// reason for a refusal is shown in the dialog.
#include <QDialog>
#include <string>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace corvane {

class NetworkRadioDialog : public QDialog {
    Q_OBJECT
public:
    explicit NetworkRadioDialog(QWidget* parent = nullptr);
    // "tcp:HOST[:PORT]" once accepted.
    const std::string& port() const { return port_; }
    void accept() override;

private:
    QLineEdit* host_;
    QLineEdit* portNumber_;
    QLabel* problem_;
    std::string port_;
};

}  // namespace corvane
