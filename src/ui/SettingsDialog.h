// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Settings window: one non-modal dialog with the tabs "General", "Base"
// and "About", raised when opened again.
#include <QDialog>

class QTabWidget;

namespace corvane {

struct UiContext;
class AboutTab;
class GeneralSettingsTab;
class RadioSettingsTab;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    enum class Tab { general, base, about };

    SettingsDialog(UiContext& context, QWidget* parent = nullptr);

    void showTab(Tab tab);
    GeneralSettingsTab& general() { return *general_; }
    RadioSettingsTab& base() { return *base_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void tabShown();

    QTabWidget* tabs_;
    GeneralSettingsTab* general_;
    RadioSettingsTab* base_;
    AboutTab* about_;
};

}  // namespace corvane
