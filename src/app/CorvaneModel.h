// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's central model: the link to the USB radio, the mesh state
// every window shows (nodes, positions, messages, channels, radio settings),
// the guarded device with its movement alert, and the stores that keep
// positions and messages across runs. Created once by the front end and kept
// for the whole run; lives on the loop thread and is touched only there.
//
// Every published field has a const accessor; each assignment fires
// `changed()`, and observers re-read what they show. Operations return at once
// and finish their work on the loop. User-facing texts are chosen here.
//
// The Bluetooth watcher is created first and exposed as `bluetoothTrackers`;
// its platform comes in through Dependencies.
// The local-network watcher is created here, idle, and exposed as
// `localNetwork()`; the front end starts and stops it. Alerts of all three
// go to the desktop and, through `phoneAlerts()`, to the user's phone.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/BluetoothTrackerManager.h"
#include "app/ChangeSignal.h"
#include "app/LocalNetworkBrowser.h"
#include "app/MeshHealthWatch.h"
#include "app/MeshRadio.h"
#include "app/PhoneAlertForwarder.h"
#include "app/PhoneAlerts.h"
#include "app/WakeFanOut.h"
#include "app/ports/DefaultsStore.h"
#include "app/ports/DeviceFolderWatcher.h"
#include "app/ports/EventLoop.h"
#include "app/ports/NotificationCenter.h"
#include "app/ports/PhoneAlertChannel.h"
#include "app/ports/ServiceBrowser.h"
#include "core/BicycleMovementDetector.h"
#include "core/GuardProfile.h"
#include "core/MeshMessage.h"
#include "core/MeshNode.h"
#include "core/MeshtasticRadioSettings.h"
#include "core/MessageStore.h"
#include "core/PositionStore.h"

namespace corvane {

class CorvaneModel {
public:
    static constexpr std::uint32_t kBroadcastNode = 4294967295u;
    static constexpr std::chrono::seconds kNearbyWindow{3600};

    struct Dependencies {
        EventLoop& loop;
        DefaultsStore& defaults;
        NotificationCenter& notifications;
        ServiceBrowser& serviceBrowser;
        MeshRadio::ProcessFactory makeProcess;
        // Holds "positions.json" and "messages.json"; created on first write.
        std::string dataFolder;
        // Holds the device files ("local-network-devices.json").
        std::string deviceFolder;
        MeshRadio::Timeouts radioTimeouts = {};
        // Optional: without it a radio plugged in waits for the next retry.
        DeviceFolderWatcher* deviceWatcher = nullptr;
        BluetoothTrackerManager::Ports bluetooth;
        // Optional: where alerts also go to the user's phone.
        PhoneAlertChannel* phone = nullptr;
    };

    explicit CorvaneModel(Dependencies dependencies);
    ~CorvaneModel();
    CorvaneModel(const CorvaneModel&) = delete;
    CorvaneModel& operator=(const CorvaneModel&) = delete;

    // "$XDG_DATA_HOME/Halvo Corvane" (else ~/.local/share/Halvo Corvane);
    // absent when the user has no home folder.
    static std::optional<std::string> defaultDataFolder();

    ChangeSignal& changed() { return changed_; }

    // Published fields.
    const std::vector<MeshNode>& nodes() const { return nodes_; }
    const std::vector<MeshPosition>& history() const { return history_; }
    const std::string& connectionState() const { return connectionState_; }
    const std::optional<std::string>& connectedPort() const { return connectedPort_; }
    const std::vector<std::string>& availablePorts() const { return availablePorts_; }
    const std::string& selectedPort() const { return selectedPort_; }
    std::optional<std::uint32_t> selectedNodeID() const { return selectedNodeID_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    // Why the last connection attempt failed, automatic ones included (whose
    // text `errorMessage` does not show); kept through the retries, cleared
    // by a connection or a disconnect.
    const std::optional<std::string>& connectionFailure() const { return connectionFailure_; }
    double parkingRadius() const { return parkingRadius_; }
    const std::optional<MeshPosition>& parkedPosition() const { return parkedPosition_; }
    const std::string& parkingStatus() const { return parkingStatus_; }
    // Absent while the guarded device's fixes (its latest and the marked one)
    // are exact; else says how coarse they are and what cannot be seen.
    std::optional<std::string> guardPrecision() const;
    GuardProfile guardProfile() const { return guardProfile_; }
    std::optional<std::uint32_t> localNodeID() const { return localNodeID_; }
    const std::vector<MeshMessage>& messages() const { return messages_; }
    const std::map<std::uint32_t, std::string>& channels() const { return channels_; }
    std::optional<std::uint32_t> messageRecipient() const { return messageRecipient_; }
    std::uint32_t messageChannel() const { return messageChannel_; }
    const std::optional<MeshtasticRadioSettings>& loraConfig() const { return loraConfig_; }
    const std::string& radioSettingsState() const { return radioSettingsState_; }

    // Fields the windows write.
    void setSelectedPort(std::string port);
    void setSelectedNodeID(std::optional<std::uint32_t> node);
    void setErrorMessage(std::optional<std::string> message);
    // Ignores a radius that is not finite.
    void setParkingRadius(double radius);
    void setGuardProfile(GuardProfile profile);
    void setMessageRecipient(std::optional<std::uint32_t> node);
    void setMessageChannel(std::uint32_t channel);

    // Computed views.
    std::optional<std::uint32_t> guardedNodeID() const;
    std::vector<MeshNode> directlyHeardNodes() const;
    std::vector<MeshNode> otherMeshNodes() const;
    std::string displayName(std::uint32_t number) const;
    std::vector<MeshPosition> positions(std::uint32_t number) const;

    // Connection lifecycle.
    void refreshPorts();
    // Radios reached over the network ("tcp:HOST[:PORT]"), kept across runs
    // and listed after the USB ones.
    std::vector<std::string> networkRadios() const;
    // Keeps `port` (a network radio port name) and selects it.
    void addNetworkRadio(const std::string& port);
    // Forgets a kept network radio; a saved choice of it is forgotten too, so
    // the next start does not try to reach it.
    void removeNetworkRadio(const std::string& port);
    // Every connect of this run, reconnects included, uses `port` (a device
    // path or a network radio), whatever is chosen or saved.
    void useRadioForThisRun(std::string port) { radioForThisRun_ = std::move(port); }
    void connect(std::optional<std::string> port, bool showErrors);
    void disconnect();

    // Guarded device.
    void setGuarded(const MeshNode& node);
    void markGuardedPosition();
    void clearParking();
    void clearGuardedDevice();

    void sendMessage(std::string_view text);

    void requestRadioSettings();
    void applyRadioSettings(const MeshtasticRadioSettings& settings);

    BluetoothTrackerManager& bluetoothTrackers() { return bluetoothTrackers_; }
    LocalNetworkBrowser& localNetwork() { return localNetwork_; }
    PhoneAlerts& phoneAlerts() { return phoneAlerts_; }
    // Silence, return and battery alerts of chosen nodes and the guarded one.
    MeshHealthWatch& meshHealth() { return meshHealth_; }
    const MeshHealthWatch& meshHealth() const { return meshHealth_; }

private:
    template <typename T, typename U>
    void assign(T& field, U&& value);

    void startUp();
    // Both files as read, with the copies the model publishes made off the
    // loop as well.
    struct StoredRecords {
        PositionStore::Snapshot positions;
        MessageStore::Snapshot messages;
        std::vector<MeshPosition> history;
        std::vector<MeshMessage> messageLog;
    };
    static StoredRecords readStoredRecords(const std::function<PositionStore::Snapshot()>& positions,
                                           const std::function<MessageStore::Snapshot()>& messages);
    void readStores();
    void storesRead(StoredRecords read);
    void recordFix(const MeshPosition& fix, std::uint32_t nodeNumber);
    void keepSentMessage(const MeshMessage& message);
    void scheduleReconnect();
    void bridgeStopped(const MeshRadioError& error);
    void handle(const MeshtasticBridgeResponse& response);
    void upsert(const MeshNode& node);
    void receiveMessage(const MeshMessage& message);
    void notifyMessage(const MeshMessage& message);
    void checkParking(const MeshPosition& position, std::uint32_t nodeNumber);
    void sortNodes();
    std::vector<MeshNode> remoteNodes(bool directlyHeard) const;
    void placeNode(const MeshNode& node, bool known, bool renamed);
    bool comesBefore(const MeshNode& a, const MeshNode& b, std::optional<std::uint32_t> guarded) const;
    bool isRadioConnected() const;
    void readRadioSettings(MeshRadio::SettingsRead when);
    bool holdsFix(const MeshPosition& fix) const;
    void updateDeviceWatch();
    void deviceFolderChanged();

    EventLoop& loop_;
    DefaultsStore& defaults_;
    PhoneAlerts phoneAlerts_;
    // Every alert source posts here: the desktop, and the phone for alerts.
    PhoneAlertForwarder alertForwarder_;
    NotificationCenter& notifications_;
    ChangeSignal changed_;
    // Before the watchers it serves: they unhook from it as they go.
    WakeFanOut wakeFanOut_;
    BluetoothTrackerManager bluetoothTrackers_;

    std::vector<MeshNode> nodes_;
    std::vector<MeshPosition> history_;
    std::string connectionState_ = "Connecting…";
    std::optional<std::string> connectedPort_;
    std::vector<std::string> availablePorts_;
    std::string selectedPort_;
    std::size_t usbPortCount_ = 0;
    std::optional<std::string> radioForThisRun_;
    std::optional<std::uint32_t> selectedNodeID_;
    std::optional<std::string> errorMessage_;
    std::optional<std::string> connectionFailure_;
    double parkingRadius_ = 75.0;
    std::optional<MeshPosition> parkedPosition_;
    std::string parkingStatus_ = "No position marked";
    GuardProfile guardProfile_ = GuardProfile::general;
    std::optional<std::uint32_t> localNodeID_;
    std::vector<MeshMessage> messages_;
    std::map<std::uint32_t, std::string> channels_{{0, "Primary"}};
    std::optional<std::uint32_t> messageRecipient_;
    std::uint32_t messageChannel_ = 0;
    std::optional<MeshtasticRadioSettings> loraConfig_;
    std::string radioSettingsState_ = "Waiting for radio…";

    PositionStore store_;
    MessageStore messageStore_;
    // The stores are read off the loop while the window comes up. Until they
    // are in, fixes and messages wait here in arrival order: the history they
    // are checked against (old news, repeats) is not complete yet, and a
    // write now would replace a file that was never read.
    bool storesLoaded_ = false;
    std::vector<EventLoop::Callback> untilStoresLoaded_;
    // Lets the background read's result find out whether the model is gone.
    std::shared_ptr<char> lifetime_ = std::make_shared<char>();
    std::map<std::uint32_t, MeshNode> nodeIndex_;
    // Collation keys of the long names, and the guarded node `nodes_` was
    // last ordered for: together they let one update move one entry instead
    // of re-sorting the whole list.
    std::map<std::uint32_t, std::string> sortKeys_;
    std::optional<std::uint32_t> orderedForGuarded_;
    TimerHandle reconnectTask_;
    std::map<std::uint64_t, TimerHandle> rereadTasks_;
    std::uint64_t nextRereadTask_ = 0;
    std::int64_t connectionGeneration_ = 0;
    // The generation whose connect succeeded; a stop of the bridge counts as
    // a connection failure only while no newer attempt or disconnect followed.
    std::int64_t connectedGeneration_ = -1;
    bool hasSentMovementAlert_ = false;
    BicycleMovementDetector movementDetector_{2};
    TimerHandle startUpTask_;
    DeviceFolderWatcher* deviceWatcher_;
    bool watchingDevices_ = false;

    MeshHealthWatch meshHealth_;
    ChangeSignal::Subscription healthContext_;
    ChangeSignal::Subscription healthWake_;

    // Last, so it goes first: its callbacks point into the fields above.
    MeshRadio radio_;
    LocalNetworkBrowser localNetwork_;
};

}  // namespace corvane
