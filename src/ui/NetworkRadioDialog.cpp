// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NetworkRadioDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/NetworkRadioAddress.h"
#include "ui/NegativeText.h"

namespace corvane {

NetworkRadioDialog::NetworkRadioDialog(QWidget* parent)
    : QDialog(parent), host_(new QLineEdit), portNumber_(new QLineEdit), problem_(new QLabel) {
    setObjectName(QStringLiteral("networkRadioDialog"));
    setWindowTitle(QStringLiteral("Add Network Radio"));
    host_->setObjectName(QStringLiteral("networkRadioHost"));
    host_->setPlaceholderText(QStringLiteral("meshtastic.local or 192.168.1.20"));
    portNumber_->setObjectName(QStringLiteral("networkRadioPort"));
    portNumber_->setPlaceholderText(QStringLiteral("4403"));
    problem_->setObjectName(QStringLiteral("networkRadioProblem"));
    problem_->setWordWrap(true);
    problem_->hide();
    QPalette palette = problem_->palette();
    palette.setColor(QPalette::WindowText, negativeTextColor(palette));
    problem_->setPalette(palette);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Host or address"), host_);
    form->addRow(QStringLiteral("Port"), portNumber_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Add"));
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkRadioDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("A radio on Wi-Fi or a Linux node serves its mesh on port 4403.")));
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
}

void NetworkRadioDialog::accept() {
    auto checked = networkRadioPort(host_->text().toStdString(), portNumber_->text().toStdString());
    if (!checked) {
        problem_->setText(QString::fromStdString(checked.error()));
        problem_->show();
        return;
    }
    port_ = *checked;
    QDialog::accept();
}

}  // namespace corvane
