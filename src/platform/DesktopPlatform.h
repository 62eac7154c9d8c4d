// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every Linux adapter the model runs on, made once per run by a front end
// (the window or the headless guard), and the model's dependencies over
// them. Owned by the front end for the whole run and destroyed after the
// model; loop thread only.
#include <optional>
#include <string>

#include "app/CorvaneModel.h"
#include "platform/AvahiServiceBrowser.h"
#include "platform/BlueZBluetoothCentral.h"
#include "platform/CanberraSoundPlayer.h"
#include "platform/FileDefaultsStore.h"
#include "platform/FreedesktopNotificationCenter.h"
#include "platform/GeoClueLocationProvider.h"
#include "platform/KdeConnectPhoneChannel.h"
#include "platform/LogindWakeMonitor.h"
#include "platform/OsascriptScriptRunner.h"
#include "platform/QtDeviceFolderWatcher.h"
#include "platform/QtEventLoop.h"

namespace corvane {

class DesktopPlatform {
public:
    struct Folders {
        std::string data;
        std::string devices;
        std::string defaultsFile;
    };
    // The user's folders; absent, after saying why on standard error, when
    // there is no home folder to keep data in.
    static std::optional<Folders> userFolders();

    // This computer's name; "corvane" when it has none.
    static std::string hostName();

    explicit DesktopPlatform(Folders found);
    DesktopPlatform(const DesktopPlatform&) = delete;
    DesktopPlatform& operator=(const DesktopPlatform&) = delete;

    // The model over these adapters; alerts are posted to `notifications`
    // (the desktop's centre, or a front end's wrapper of it).
    CorvaneModel::Dependencies modelDependencies(NotificationCenter& notifications);

    // The Home Assistant broker's password, beside the defaults file.
    std::string homeAssistantPasswordFile() const;

    const Folders folders;
    QtEventLoop loop;
    FileDefaultsStore defaults;
    FreedesktopNotificationCenter notifications;
    QtDeviceFolderWatcher deviceWatcher;
    BlueZBluetoothCentral bluetoothCentral;
    GeoClueLocationProvider location;
    LogindWakeMonitor wake;
    CanberraSoundPlayer sound;
    OsascriptScriptRunner scripts;
    AvahiServiceBrowser serviceBrowser;
    KdeConnectPhoneChannel phone;
};

}  // namespace corvane
