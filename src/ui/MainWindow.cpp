// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/ports/DefaultsStore.h"
#include "ui/SegmentButton.h"
#include "ui/SettingsDialog.h"
#include "ui/NegativeText.h"
#include "ui/SymbolIcon.h"
#include "ui/SymbolLabel.h"
#include "ui/UiContext.h"
#include "ui/WheelNeedsFocus.h"

namespace corvane {
namespace {

constexpr const char* kSelectedNetwork = "main.selectedNetwork";

}  // namespace

MainWindow::MainWindow(UiContext& context, std::vector<std::unique_ptr<WindowSection>> sections, QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      sections_(std::move(sections)),
      sidebars_(new QStackedWidget),
      contents_(new QStackedWidget),
      inspectors_(new QStackedWidget),
      splitter_(new QSplitter),
      status_(new QLabel),
      error_(new QWidget),
      errorText_(new QLabel) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Corvane"));
    setWindowIcon(SymbolIcon::applicationIcon());
    WheelNeedsFocus::install();
    resize(1320, 820);

    for (const auto& section : sections_) {
        sidebars_->addWidget(section->sidebar());
        contents_->addWidget(section->content());
        inspectors_->addWidget(section->inspector());
        connect(section.get(), &WindowSection::statusChanged, this, &MainWindow::refreshStatus);
        connect(section.get(), &WindowSection::settingsRequested, this,
                [this] { settings().showTab(SettingsDialog::Tab::general); });
    }
    sidebars_->setObjectName(QStringLiteral("sidebar"));
    contents_->setObjectName(QStringLiteral("content"));
    inspectors_->setObjectName(QStringLiteral("inspector"));
    sidebars_->setMinimumWidth(240);
    inspectors_->setMinimumWidth(360);
    splitter_->addWidget(sidebars_);
    splitter_->addWidget(contents_);
    splitter_->addWidget(inspectors_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setStretchFactor(2, 0);
    splitter_->setSizes({290, 670, 360});
    splitter_->setChildrenCollapsible(false);
    setCentralWidget(splitter_);

    buildToolbar();
    buildMenus();

    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setTextFormat(Qt::PlainText);
    errorText_->setObjectName(QStringLiteral("errorLine"));
    errorText_->setTextFormat(Qt::PlainText);
    auto* dismiss = new QToolButton;
    dismiss->setObjectName(QStringLiteral("dismissErrorButton"));
    dismiss->setText(QStringLiteral("×"));
    dismiss->setToolTip(QStringLiteral("Dismiss error"));
    dismiss->setAccessibleName(QStringLiteral("Dismiss error"));
    dismiss->setAutoRaise(true);
    connect(dismiss, &QToolButton::clicked, this, [this] {
        if (WindowSection* shown = section(current_)) shown->dismissError();
    });
    auto* errorLayout = new QHBoxLayout(error_);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    auto* errorIcon = new SymbolLabel(14);
    errorIcon->setSymbol(QStringLiteral("exclamationmark.triangle.fill"));
    errorLayout->addWidget(errorIcon);
    colourErrorLine();
    errorLayout->addWidget(errorText_);
    errorLayout->addWidget(dismiss);
    statusBar()->addWidget(status_, 1);
    statusBar()->addPermanentWidget(error_);

    const auto stored = context_.defaults.string(kSelectedNetwork);
    const auto restored = stored ? networkSectionFromTitle(QString::fromStdString(*stored)) : std::nullopt;
    current_ = restored && section(*restored) ? *restored : NetworkSection::meshtastic;
    if (!section(current_) && !sections_.empty()) current_ = sections_.front()->section();
    showSection(current_);
}

MainWindow::~MainWindow() = default;

WindowSection* MainWindow::section(NetworkSection wanted) const {
    for (const auto& section : sections_)
        if (section->section() == wanted) return section.get();
    return nullptr;
}

void MainWindow::buildToolbar() {
    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    auto* pickerBox = new QWidget;
    pickerBox->setAccessibleName(QStringLiteral("Network"));
    auto* layout = new QHBoxLayout(pickerBox);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(2);
    picker_ = new QButtonGroup(this);
    for (const auto& section : sections_) {
        auto* button = new SegmentButton(QStringLiteral("network") + title(section->section()).remove(QLatin1Char(' ')),
                                         title(section->section()));
        picker_->addButton(button, static_cast<int>(section->section()));
        layout->addWidget(button);
    }
    connect(picker_, &QButtonGroup::idClicked, this, [this](int id) { showSection(static_cast<NetworkSection>(id)); });
    toolbar->addWidget(pickerBox);
    for (const auto& section : sections_) {
        if (QWidget* controls = section->toolbarControls()) toolbarControls_[section->section()] = toolbar->addWidget(controls);
    }
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setObjectName(QStringLiteral("quitAction"));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* settingsAction = edit->addAction(QStringLiteral("Settings…"), this, [this] {
        settings().showTab(SettingsDialog::Tab::general);
    });
    settingsAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    settingsAction->setObjectName(QStringLiteral("settingsAction"));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    int number = 1;
    for (const auto& section : sections_) {
        const NetworkSection kind = section->section();
        QAction* action = view->addAction(title(kind), this, [this, kind] { showSection(kind); });
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(number++)));
    }
    view->addSeparator();
    for (const auto& [command, label] : {std::pair(WindowSection::Command::scan, QStringLiteral("Scan")),
                                         std::pair(WindowSection::Command::fit, QStringLiteral("Fit")),
                                         std::pair(WindowSection::Command::reconnect, QStringLiteral("Reconnect"))}) {
        const WindowSection::Command chosen = command;
        commands_[command] = view->addAction(label, this, [this, chosen] { runCommand(chosen); });
        commands_[command]->setObjectName(label.toLower() + QStringLiteral("Action"));
    }

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("About Corvane"), this, [this] { settings().showTab(SettingsDialog::Tab::about); });
}

void MainWindow::showSection(NetworkSection wanted) {
    WindowSection* next = section(wanted);
    if (!next) return;
    if (wanted != current_ || !activated_) {
        if (activated_) {
            if (WindowSection* previous = section(current_)) previous->deactivate();
        }
        current_ = wanted;
        if (isVisible()) {
            next->activate();
            activated_ = true;
        }
        context_.defaults.setString(kSelectedNetwork, title(wanted).toStdString());
    }
    sidebars_->setCurrentWidget(next->sidebar());
    contents_->setCurrentWidget(next->content());
    inspectors_->setCurrentWidget(next->inspector());
    if (QAbstractButton* button = picker_->button(static_cast<int>(wanted))) button->setChecked(true);
    for (const auto& [kind, action] : toolbarControls_) action->setVisible(kind == wanted);
    for (const auto& [command, action] : commands_) action->setEnabled(next->supports(command));
    refreshStatus();
}

// The persisted section's watcher starts when the window first appears, not
// when it is built.
void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (activated_) return;
    if (WindowSection* shown = section(current_)) shown->activate();
    activated_ = true;
}

void MainWindow::colourErrorLine() {
    QPalette palette = error_->palette();
    palette.setColor(QPalette::WindowText, negativeTextColor(this->palette()));
    error_->setPalette(palette);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) colourErrorLine();
}

void MainWindow::runCommand(WindowSection::Command command) {
    if (WindowSection* shown = section(current_); shown && shown->supports(command)) shown->run(command);
}

void MainWindow::refreshStatus() {
    WindowSection* shown = section(current_);
    if (!shown) return;
    status_->setText(shown->statusLine());
    const QString error = shown->errorLine();
    errorText_->setText(error);
    error_->setVisible(!error.isEmpty());
}

SettingsDialog& MainWindow::settings() {
    if (!settings_) settings_ = new SettingsDialog(context_, this);
    return *settings_;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (activated_) {
        if (WindowSection* shown = section(current_)) shown->deactivate();
    }
    for (const auto& section : sections_) section->prepareToQuit();
    event->accept();
    if (settings_) settings_->close();
    QCoreApplication::quit();
}

}  // namespace corvane
