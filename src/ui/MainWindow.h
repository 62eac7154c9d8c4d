// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one main window: the "Network" picker over the registered sections,
// each section's sidebar, content and inspector side by side, the menus and
// the status bar. Remembers the section shown in "main.selectedNetwork"
// (Meshtastic on first launch). Closing it quits the application. GUI
// thread only.
#include <QMainWindow>
#include <map>
#include <memory>
#include <vector>

#include "ui/WindowSection.h"

class QAction;
class QButtonGroup;
class QLabel;
class QSplitter;
class QStackedWidget;
class QToolButton;

namespace corvane {

struct UiContext;
class SettingsDialog;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `sections` in picker order; the window owns them and their widgets.
    MainWindow(UiContext& context, std::vector<std::unique_ptr<WindowSection>> sections, QWidget* parent = nullptr);
    ~MainWindow() override;

    NetworkSection currentSection() const { return current_; }
    void showSection(NetworkSection section);
    WindowSection* section(NetworkSection section) const;
    SettingsDialog& settings();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void refreshStatus();
    // The error line in the palette's negative colour, for the current theme.
    void colourErrorLine();
    void runCommand(WindowSection::Command command);

    UiContext& context_;
    std::vector<std::unique_ptr<WindowSection>> sections_;
    NetworkSection current_ = NetworkSection::meshtastic;
    bool activated_ = false;
    QStackedWidget* sidebars_;
    QStackedWidget* contents_;
    QStackedWidget* inspectors_;
    QSplitter* splitter_;
    QButtonGroup* picker_ = nullptr;
    std::map<NetworkSection, QAction*> toolbarControls_;
    std::map<WindowSection::Command, QAction*> commands_;
    QLabel* status_;
    QWidget* error_;
    QLabel* errorText_;
    SettingsDialog* settings_ = nullptr;
};

}  // namespace corvane
