// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HomeAssistantSettings.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MqttBrokerAddress.h"
#include "ui/FormParts.h"
#include "ui/MetricGroup.h"
#include "ui/NegativeText.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {

QLineEdit* field(const char* name, const QString& placeholder) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    return edit;
}

}  // namespace

HomeAssistantSettings::HomeAssistantSettings(UiContext& context, HomeAssistantLink& link, QWidget* parent)
    : QWidget(parent),
      link_(link),
      broker_(field("homeAssistantBroker", QStringLiteral("mqtt://homeassistant.local"))),
      user_(field("homeAssistantUser", QStringLiteral("Optional"))),
      password_(field("homeAssistantPassword", QStringLiteral("Optional"))),
      baseTopic_(field("homeAssistantBaseTopic", QString::fromStdString(link.defaultBaseTopic()))),
      room_(field("homeAssistantRoom", QString::fromStdString(link.hostName()))),
      status_(new QLabel),
      error_(new QLabel),
      apply_(new QPushButton(QStringLiteral("Apply"))) {
    password_->setEchoMode(QLineEdit::Password);
    status_->setObjectName(QStringLiteral("homeAssistantStatus"));
    status_->setTextFormat(Qt::PlainText);
    error_->setObjectName(QStringLiteral("homeAssistantError"));
    error_->setTextFormat(Qt::PlainText);
    error_->setWordWrap(true);
    error_->hide();
    apply_->setObjectName(QStringLiteral("applyHomeAssistantButton"));
    for (auto* edit : {broker_, user_, password_, baseTopic_, room_}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { refresh(); });
    }
    connect(apply_, &QPushButton::clicked, this, [this] {
        const auto kept = link_.apply(edited());
        error_->setText(kept ? QString() : QStringLiteral("Could not keep the password: ") + QString::fromStdString(kept.error().message));
        error_->setVisible(!kept);
        refresh();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* group = new MetricGroup(QStringLiteral("Home Assistant"));
    group->addRow(QStringLiteral("Broker"), broker_);
    group->addRow(QStringLiteral("User"), user_);
    group->addRow(QStringLiteral("Password"), password_);
    group->addRow(QStringLiteral("Base topic"), baseTopic_);
    group->addRow(QStringLiteral("Room"), room_);
    group->addRow(QStringLiteral("Status"), status_);
    group->addRow(error_);
    group->addRow(apply_);
    group->addRow(wrappedText(QStringLiteral("Tracked devices, the guarded device and every alert appear in Home "
                                             "Assistant through MQTT discovery. mqtts:// connects with TLS. Guards in "
                                             "several rooms report room presence on “room_presence/ROOM”."),
                              true));
    layout->addWidget(group);
    refresher_ = std::make_unique<RefreshOnChange>(context.loop, link_.publisher().changed(), [this] { refresh(); });
    showSaved();
    changeEvent(nullptr);
}

void HomeAssistantSettings::changeEvent(QEvent* event) {
    if (event != nullptr) QWidget::changeEvent(event);
    if (event != nullptr && event->type() != QEvent::PaletteChange) return;
    QPalette palette = error_->palette();
    palette.setColor(QPalette::WindowText, negativeTextColor(this->palette()));
    error_->setPalette(palette);
}

HomeAssistantLink::Settings HomeAssistantSettings::edited() const {
    const auto text = [](const QLineEdit* edit) { return edit->text().trimmed().toStdString(); };
    return {text(broker_), text(user_), password_->text().toStdString(), text(baseTopic_), text(room_)};
}

void HomeAssistantSettings::showSaved() {
    const auto& saved = link_.settings();
    broker_->setText(QString::fromStdString(saved.brokerUrl));
    user_->setText(QString::fromStdString(saved.user));
    password_->setText(QString::fromStdString(saved.password));
    baseTopic_->setText(QString::fromStdString(saved.baseTopic));
    room_->setText(QString::fromStdString(saved.room));
    refresh();
}

void HomeAssistantSettings::refresh() {
    status_->setText(QString::fromStdString(link_.publisher().statusText()));
    const auto draft = edited();
    const bool usable = draft.brokerUrl.empty() || MqttBrokerAddress::parse(draft.brokerUrl);
    apply_->setEnabled(usable && draft != link_.settings());
    broker_->setToolTip(usable ? QString() : QStringLiteral("mqtt://host[:port], or mqtts://host[:port] for TLS"));
}

}  // namespace corvane
