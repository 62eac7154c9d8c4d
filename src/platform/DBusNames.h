// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The freedesktop interfaces the system-bus adapters speak besides their
// service's own, named once.
#include <QString>

namespace corvane::dbus {

inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
inline const QString kObjectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");

}  // namespace corvane::dbus
