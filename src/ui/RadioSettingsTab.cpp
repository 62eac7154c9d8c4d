// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RadioSettingsTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/CorvaneModel.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"
#include "ui/MetricGroup.h"
#include "ui/RadioSettingsSummary.h"
#include "ui/Stepper.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {

QString text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())); }

}  // namespace

RadioSettingsTab::RadioSettingsTab(UiContext& context, QWidget* parent)
    : QWidget(parent), context_(context), unavailable_(new EmptyState), state_(new QLabel), editor_(nullptr) {
    QVBoxLayout* column = scrollingColumn(*this);

    auto* heading = new QLabel(QStringLiteral("Meshtastic USB radio"));
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.2);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    column->addWidget(heading);

    auto* usb = new MetricGroup(QStringLiteral("USB connection"));
    state_->setObjectName(QStringLiteral("radioSettingsState"));
    state_->setTextFormat(Qt::PlainText);
    usb->addRow(QStringLiteral("Status"), state_);
    auto* read = new QPushButton(QStringLiteral("Read from Radio"));
    read->setObjectName(QStringLiteral("readRadioButton"));
    connect(read, &QPushButton::clicked, this, [this] { context_.model.requestRadioSettings(); });
    usb->addRow(read);
    column->addWidget(usb);

    unavailable_->setObjectName(QStringLiteral("radioSettingsUnavailable"));
    unavailable_->setContent(QStringLiteral("antenna.radiowaves.left.and.right.slash"),
                             QStringLiteral("Radio settings unavailable"),
                             QStringLiteral("Connect a Meshtastic radio by USB, then read its settings."));
    column->addWidget(unavailable_);
    editor_ = buildEditor();
    column->addWidget(editor_);
    column->addStretch(1);

    refresher_ = std::make_unique<RefreshOnChange>(context.loop, context.model.changed(), [this] { refresh(); });
    refresh();
}

QWidget* RadioSettingsTab::buildEditor() {
    auto* editor = new MetricGroup(QStringLiteral("LoRa settings"));
    editor->setObjectName(QStringLiteral("radioSettingsEditor"));

    region_ = new QComboBox;
    region_->setObjectName(QStringLiteral("regionPicker"));
    for (const auto region : kAllMeshtasticRegions) region_->addItem(regionLabel(region), static_cast<int>(region));
    connect(region_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto region = static_cast<MeshtasticRegion>(region_->itemData(index).toInt());
        edit([&](MeshtasticRadioSettings& draft) { draft.region = region; });
    });
    editor->addRow(QStringLiteral("Region"), region_);

    preset_ = new QComboBox;
    preset_->setObjectName(QStringLiteral("presetPicker"));
    for (const auto preset : kAllMeshtasticModemPresets) preset_->addItem(text(label(preset)), static_cast<int>(preset));
    connect(preset_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto preset = static_cast<MeshtasticModemPreset>(preset_->itemData(index).toInt());
        edit([&](MeshtasticRadioSettings& draft) { draft.modemPreset = preset; });
    });
    editor->addRow(QStringLiteral("Modem preset"), preset_);

    hops_ = new Stepper(1, 7, [](std::int64_t v) { return QStringLiteral("Maximum hops: %1").arg(v); },
                        QStringLiteral("maximum hops"));
    hops_->setObjectName(QStringLiteral("hopsStepper"));
    connect(hops_, &Stepper::valueChosen, this, [this](std::int64_t v) {
        edit([&](MeshtasticRadioSettings& draft) { draft.hopLimit = static_cast<std::uint32_t>(v); });
    });
    editor->addRow(hops_);

    slot_ = new Stepper(0, 255, [](std::int64_t v) { return QStringLiteral("Frequency slot: %1").arg(v); },
                        QStringLiteral("frequency slot"));
    slot_->setObjectName(QStringLiteral("slotStepper"));
    connect(slot_, &Stepper::valueChosen, this, [this](std::int64_t v) {
        edit([&](MeshtasticRadioSettings& draft) { draft.channelNum = static_cast<std::uint32_t>(v); });
    });
    editor->addRow(slot_);

    transmit_ = new QCheckBox(QStringLiteral("Transmit enabled"));
    transmit_->setObjectName(QStringLiteral("transmitToggle"));
    connect(transmit_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](MeshtasticRadioSettings& draft) { draft.txEnabled = on; }); });
    editor->addRow(transmit_);

    boosted_ = new QCheckBox(QStringLiteral("RX boosted gain"));
    boosted_->setObjectName(QStringLiteral("boostedToggle"));
    connect(boosted_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](MeshtasticRadioSettings& draft) { draft.rxBoostedGain = on; }); });
    editor->addRow(boosted_);

    power_ = new Stepper(
        0, 30,
        [](std::int64_t v) {
            return v == 0 ? QStringLiteral("Transmit power: Regional default")
                          : QStringLiteral("Transmit power: %1 dBm (0 is regional default)").arg(v);
        },
        QStringLiteral("transmit power"));
    power_->setObjectName(QStringLiteral("powerStepper"));
    connect(power_, &Stepper::valueChosen, this, [this](std::int64_t v) {
        edit([&](MeshtasticRadioSettings& draft) { draft.txPower = static_cast<std::int32_t>(v); });
    });
    editor->addRow(power_);

    auto* recommended = new QPushButton(QStringLiteral("Recommended Halvo Setup"));
    recommended->setObjectName(QStringLiteral("recommendedButton"));
    connect(recommended, &QPushButton::clicked, this, [this] {
        edit([](MeshtasticRadioSettings& draft) { draft = MeshtasticRadioSettings::recommended(); });
    });
    editor->addRow(recommended);
    editor->addRow(wrappedText(QString::fromUtf8(kRecommendedSetupExplanation), true));

    apply_ = new QPushButton(QStringLiteral("Apply to Radio"));
    apply_->setObjectName(QStringLiteral("applyRadioButton"));
    connect(apply_, &QPushButton::clicked, this, &RadioSettingsTab::confirmApply);
    editor->addRow(apply_);
    return editor;
}

void RadioSettingsTab::pageShown() {
    context_.model.requestRadioSettings();
    if (const auto& config = context_.model.loraConfig()) draft_ = *config;
    seenConfig_ = context_.model.loraConfig();
    refresh();
}

void RadioSettingsTab::refresh() {
    const auto& config = context_.model.loraConfig();
    if (config != seenConfig_) {
        seenConfig_ = config;
        if (config) draft_ = *config;
    }
    state_->setText(QString::fromStdString(context_.model.radioSettingsState()));
    unavailable_->setVisible(!config && !draft_);
    editor_->setVisible(draft_.has_value());
    showDraft();
}

void RadioSettingsTab::edit(const std::function<void(MeshtasticRadioSettings&)>& change) {
    if (!draft_) return;
    change(*draft_);
    showDraft();
}

void RadioSettingsTab::showDraft() {
    if (!draft_) return;
    const QSignalBlocker regionBlocker(region_);
    const QSignalBlocker presetBlocker(preset_);
    const QSignalBlocker transmitBlocker(transmit_);
    const QSignalBlocker boostedBlocker(boosted_);
    region_->setCurrentIndex(region_->findData(static_cast<int>(draft_->region)));
    preset_->setCurrentIndex(preset_->findData(static_cast<int>(draft_->modemPreset)));
    hops_->setValue(draft_->hopLimit);
    slot_->setValue(draft_->channelNum);
    power_->setValue(draft_->txPower);
    transmit_->setChecked(draft_->txEnabled);
    boosted_->setChecked(draft_->rxBoostedGain);
    apply_->setEnabled(draft_ != context_.model.loraConfig());
}

void RadioSettingsTab::confirmApply() {
    if (!draft_) return;
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Apply radio settings?"),
                                radioSettingsChangeSummary(context_.model.loraConfig(), *draft_), QMessageBox::Cancel,
                                this);
    box->setObjectName(QStringLiteral("applyConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* apply = box->addButton(QStringLiteral("Apply"), QMessageBox::AcceptRole);
    apply->setObjectName(QStringLiteral("confirmApplyButton"));
    const MeshtasticRadioSettings settings = *draft_;
    connect(apply, &QPushButton::clicked, this, [this, settings] { context_.model.applyRadioSettings(settings); });
    box->open();
}

}  // namespace corvane
