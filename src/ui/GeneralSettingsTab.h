// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings ▸ General: the USB radio connection and the movement radius.
// Further sections (alert delivery) are appended with addSection().
#include <QWidget>
#include <memory>

#include "ui/ComboChoices.h"
#include "ui/RefreshOnChange.h"

class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvane {

struct UiContext;
class RadiusSlider;

class GeneralSettingsTab : public QWidget {
    Q_OBJECT
public:
    explicit GeneralSettingsTab(UiContext& context, QWidget* parent = nullptr);

    // Appends a titled section below the existing ones; the tab owns `body`.
    void addSection(const QString& title, QWidget* body);
    void refresh();
    void pageShown();

private:
    UiContext& context_;
    QVBoxLayout* sections_;
    QLabel* bridge_;
    QLabel* port_;
    QComboBox* ports_;
    QPushButton* connect_;
    QPushButton* removeNetwork_;
    RadiusSlider* radius_;
    std::vector<ComboChoice> shownPorts_;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
