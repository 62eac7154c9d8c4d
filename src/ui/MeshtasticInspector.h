// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Meshtastic inspector: what is known of the selected node, its silence
// and battery alerts, the export of its track, and, for the guarded device,
// the guarding controls (profile, marked position, alert radius). Every
// control calls one model operation; model values are shown with the
// controls' own signals blocked.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "ui/ComboChoices.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace corvane {

class CorvaneModel;
class EventLoop;
class EmptyState;
class MetricGroup;
class RadiusSlider;
class SymbolLabel;

class MeshtasticInspector : public QWidget {
    Q_OBJECT
public:
    explicit MeshtasticInspector(CorvaneModel& model, EventLoop& loop, QWidget* parent = nullptr);

    // Asks where a track goes, given a suggested path; empty: cancelled.
    using TrackFileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;

    void refresh();
    void setTrackFileChooser(TrackFileChooser chooser) { chooseTrackFile_ = std::move(chooser); }

signals:
    void messageRequested(std::uint32_t node);

private:
    QWidget* buildDetails();
    QWidget* buildAlerts();
    void guardSelected();
    void refreshAlerts();
    void exportTrack();

    CorvaneModel& model_;
    EventLoop& loop_;
    QStackedWidget* pages_;
    EmptyState* empty_;

    SymbolLabel* headerIcon_;
    QLabel* name_;
    QLabel* number_;
    MetricGroup* status_;
    QLabel* lastSeen_;
    QLabel* lastHeard_;
    QWidget* silence_;
    QLabel* silenceText_;
    QLabel* power_;
    QLabel* signal_;
    QLabel* connection_;
    QLabel* hardware_;

    MetricGroup* guarding_;
    QComboBox* profile_;
    QWidget* area_;
    SymbolLabel* areaIcon_;
    QLabel* areaText_;
    QLabel* distance_;
    QLabel* alarm_;
    QLabel* precision_;
    RadiusSlider* radius_;
    QPushButton* mark_;
    QPushButton* clearMark_;
    QPushButton* stopGuarding_;

    MetricGroup* position_;
    QLabel* latitude_;
    QLabel* longitude_;
    QLabel* received_;
    QLabel* recorded_;

    MetricGroup* alertsGroup_;
    QLabel* guardSilenceNote_;
    QCheckBox* silentAlert_;
    QComboBox* silenceDelay_;
    std::vector<ComboChoice> shownDelays_;
    QCheckBox* batteryAlert_;
    QComboBox* batteryThreshold_;
    std::vector<ComboChoice> shownThresholds_;

    QPushButton* exportTrack_;
    TrackFileChooser chooseTrackFile_;
    QPushButton* message_;
    QPushButton* guard_;
    std::uint32_t shown_ = 0;
};

}  // namespace corvane
