// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Walks the window through its views and saves a PNG of each into a folder:
// the empty states first, then, once the mesh has nodes, each Meshtastic
// view and each Settings tab; then quits. Run by `corvane` when
// CORVANE_SCREENSHOT_DIR is set (scripts/screenshots), on the real loop.
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

namespace corvane {

struct UiContext;
class MainWindow;

class ScreenshotTour : public QObject {
    Q_OBJECT
public:
    ScreenshotTour(UiContext& context, MainWindow& window, QString folder);

    void start();

private:
    void next();
    void save(QWidget& widget, const QString& name);
    // The General tab scrolled to its end, where the alert delivery sections sit.
    std::function<bool()> settingsGeneralEnd(QString name);

    UiContext& context_;
    MainWindow& window_;
    QString folder_;
    std::vector<std::function<bool()>> steps_;
    std::size_t step_ = 0;
    int waited_ = 0;
};

}  // namespace corvane
