// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WheelNeedsFocus.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>

namespace corvane {
namespace {

bool valueControl(QObject* object) {
    return qobject_cast<QAbstractSlider*>(object) || qobject_cast<QComboBox*>(object) ||
           qobject_cast<QAbstractSpinBox*>(object);
}

}  // namespace

void WheelNeedsFocus::install() {
    static WheelNeedsFocus* filter = [] {
        auto* made = new WheelNeedsFocus(qApp);
        qApp->installEventFilter(made);
        return made;
    }();
    (void)filter;
}

bool WheelNeedsFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Polish && valueControl(watched)) {
        // The styles' default lets the wheel itself hand these focus.
        auto* control = static_cast<QWidget*>(watched);
        if (control->focusPolicy() == Qt::WheelFocus) control->setFocusPolicy(Qt::StrongFocus);
    } else if (event->type() == QEvent::Wheel && valueControl(watched) && !static_cast<QWidget*>(watched)->hasFocus()) {
        // Ignored and held back, the event goes on to the parent, which scrolls.
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvane
