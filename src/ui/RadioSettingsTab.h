// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings ▸ Base: the connected radio's LoRa settings. The user edits a
// draft; the draft follows the radio only when the radio's settings change
// to new values (or when the page is shown), so edits survive every other
// model change. "Apply to Radio" asks first, with the list of changes.
#include <QWidget>
#include <memory>
#include <optional>

#include "core/MeshtasticRadioSettings.h"
#include "ui/RefreshOnChange.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;
class QPushButton;

namespace corvane {

struct UiContext;
class EmptyState;
class Stepper;

class RadioSettingsTab : public QWidget {
    Q_OBJECT
public:
    explicit RadioSettingsTab(UiContext& context, QWidget* parent = nullptr);

    // The page came into view: read the radio, start from what is known.
    void pageShown();
    void refresh();
    const std::optional<MeshtasticRadioSettings>& draft() const { return draft_; }

private:
    QWidget* buildEditor();
    void edit(const std::function<void(MeshtasticRadioSettings&)>& change);
    void showDraft();
    void confirmApply();

    UiContext& context_;
    std::optional<MeshtasticRadioSettings> draft_;
    std::optional<MeshtasticRadioSettings> seenConfig_;
    EmptyState* unavailable_;
    QLabel* state_;
    QWidget* editor_;
    QComboBox* region_ = nullptr;
    QComboBox* preset_ = nullptr;
    Stepper* hops_ = nullptr;
    Stepper* slot_ = nullptr;
    Stepper* power_ = nullptr;
    QCheckBox* transmit_ = nullptr;
    QCheckBox* boosted_ = nullptr;
    QPushButton* apply_ = nullptr;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
