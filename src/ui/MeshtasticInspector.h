// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Meshtastic inspector: what is known of the selected node, and, for the
// guarded device, the guarding controls (profile, marked position, alert
// radius). Every control calls one model operation; model values are shown
// with the controls' own signals blocked.
#include <QWidget>
#include <cstdint>

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

    void refresh();

signals:
    void messageRequested(std::uint32_t node);

private:
    QWidget* buildDetails();
    void guardSelected();

    CorvaneModel& model_;
    EventLoop& loop_;
    QStackedWidget* pages_;
    EmptyState* empty_;

    SymbolLabel* headerIcon_;
    QLabel* name_;
    QLabel* number_;
    QLabel* lastSeen_;
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

    QPushButton* message_;
    QPushButton* guard_;
    std::uint32_t shown_ = 0;
};

}  // namespace corvane
