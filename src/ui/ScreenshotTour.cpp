// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScreenshotTour.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include "app/CorvaneModel.h"
#include "ui/MainWindow.h"
#include "ui/MeshtasticSection.h"
#include "ui/SettingsDialog.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {

constexpr int kStepMilliseconds = 400;
constexpr int kPatienceSteps = 80;

}  // namespace

ScreenshotTour::ScreenshotTour(UiContext& context, MainWindow& window, QString folder)
    : context_(context), window_(window), folder_(std::move(folder)) {
    // Asked for at each step: the section is built the first time it is entered.
    struct Mesh {
        MainWindow& window;
        MeshtasticSection* operator->() const {
            return &dynamic_cast<MeshtasticSection&>(window.section(NetworkSection::meshtastic)->resolved());
        }
    };
    const Mesh mesh{window_};
    const auto shot = [this](QString name, std::function<void()> prepare) {
        return [this, name, prepare] {
            prepare();
            QTimer::singleShot(kStepMilliseconds, this, [this, name] { save(window_, name); });
            return true;
        };
    };
    steps_ = {
        shot(QStringLiteral("01-bluetooth-empty"), [this] { window_.showSection(NetworkSection::bluetooth); }),
        shot(QStringLiteral("02-local-network-empty"), [this] { window_.showSection(NetworkSection::localNetwork); }),
        shot(QStringLiteral("03-meshtastic-start"), [this] { window_.showSection(NetworkSection::meshtastic); }),
        // Waits for the guarded node's first position.
        [this] {
            const auto guarded = context_.model.guardedNodeID();
            const auto count = guarded ? context_.model.positions(*guarded).size() : 0;
            return count >= 1 || ++waited_ > kPatienceSteps;
        },
        shot(QStringLiteral("04-meshtastic-map"), [this, mesh] {
            context_.model.setSelectedNodeID(context_.model.guardedNodeID());
            mesh->showPane(MeshtasticSection::Pane::map);
        }),
        shot(QStringLiteral("05-meshtastic-map-fitted"), [mesh] { mesh->run(WindowSection::Command::fit); }),
        [this] { return !context_.model.messages().empty() || ++waited_ > 2 * kPatienceSteps; },
        shot(QStringLiteral("06-meshtastic-messages"), [mesh] { mesh->showPane(MeshtasticSection::Pane::messages); }),
        shot(QStringLiteral("07-meshtastic-other-node"), [this, mesh] {
            for (const auto& node : context_.model.nodes())
                if (node.number != context_.model.guardedNodeID() && node.number != context_.model.localNodeID())
                    context_.model.setSelectedNodeID(node.number);
            mesh->showPane(MeshtasticSection::Pane::map);
        }),
    };
    for (const auto& [tab, name] : {std::pair(SettingsDialog::Tab::general, QStringLiteral("08-settings-general")),
                                    std::pair(SettingsDialog::Tab::base, QStringLiteral("09-settings-base")),
                                    std::pair(SettingsDialog::Tab::about, QStringLiteral("10-settings-about"))}) {
        const auto chosen = tab;
        const QString file = name;
        steps_.push_back([this, chosen, file] {
            window_.settings().showTab(chosen);
            QTimer::singleShot(kStepMilliseconds * 2, this, [this, file] { save(window_.settings(), file); });
            return true;
        });
    }
    // The alert delivery sections sit below the fold of the General tab.
    steps_.push_back(settingsGeneralEnd(QStringLiteral("08-settings-general-alerts")));
    // The same views in a dark palette, for contrast.
    steps_.push_back([this] {
        window_.settings().hide();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
        dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
        dark.setColor(QPalette::AlternateBase, QColor(0x35, 0x35, 0x38));
        dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3d));
        dark.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xb3));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        dark.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0xa0));
        dark.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x58));
        dark.setColor(QPalette::Link, QColor(0x6c, 0xb4, 0xff));
        // Without these, disabled controls would look enabled in the shots.
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x85));
        QApplication::setPalette(dark);
        return true;
    });
    steps_.push_back(shot(QStringLiteral("11-dark-map"), [mesh] { mesh->showPane(MeshtasticSection::Pane::map); }));
    steps_.push_back(shot(QStringLiteral("12-dark-messages"), [mesh] { mesh->showPane(MeshtasticSection::Pane::messages); }));
    steps_.push_back(shot(QStringLiteral("13-dark-local-network-empty"),
                          [this] { window_.showSection(NetworkSection::localNetwork); }));
    steps_.push_back(settingsGeneralEnd(QStringLiteral("14-dark-settings-general-end")));
    steps_.push_back([] {
        QTimer::singleShot(kStepMilliseconds, qApp, &QCoreApplication::quit);
        return true;
    });
}

std::function<bool()> ScreenshotTour::settingsGeneralEnd(QString name) {
    return [this, name] {
        window_.settings().showTab(SettingsDialog::Tab::general);
        for (auto* scroll : window_.settings().findChildren<QScrollArea*>())
            if (scroll->isVisible()) scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QTimer::singleShot(kStepMilliseconds * 2, this, [this, name] { save(window_.settings(), name); });
        return true;
    };
}

void ScreenshotTour::start() {
    QDir().mkpath(folder_);
    QTimer::singleShot(kStepMilliseconds, this, [this] { next(); });
}

void ScreenshotTour::next() {
    if (step_ >= steps_.size()) return;
    if (steps_[step_]()) {
        ++step_;
        QTimer::singleShot(kStepMilliseconds * 2 + 100, this, [this] { next(); });
    } else {
        QTimer::singleShot(250, this, [this] { next(); });
    }
}

void ScreenshotTour::save(QWidget& widget, const QString& name) {
    widget.grab().save(QDir(folder_).filePath(name + QStringLiteral(".png")));
}

}  // namespace corvane
