// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's Meshtastic section driven through its widgets, over the
// real model on virtual time.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>

#include "ui/GroupedListModel.h"
#include "ui/MeshtasticInspector.h"
#include "ui/MeshtasticSidebar.h"
#include "ui/map/MapView.h"

#include "UiFixture.h"

namespace corvane {
namespace {

using Groups = std::vector<QString>;

class MeshtasticUiTest : public UiFixture {
protected:
    Groups groupIds() {
        Groups ids;
        for (const auto& group : find<MeshtasticSidebar>("").listModel().groups()) ids.push_back(group.id);
        return ids;
    }
    QTreeView& list() { return find<QTreeView>("meshtasticNodeList"); }
    std::optional<std::uint32_t> listed() {
        const auto* row = find<MeshtasticSidebar>("").listModel().row(list().currentIndex());
        return row ? std::optional(row->id.toUInt()) : std::nullopt;
    }
    void selectInList(std::uint32_t number) {
        auto& model = static_cast<GroupedListModel&>(*list().model());
        list().setCurrentIndex(model.indexOfRow(QString::number(number)));
        settle();
    }
    const SidebarRow& row(std::uint32_t number) {
        auto& model = find<MeshtasticSidebar>("").listModel();
        return *model.row(model.indexOfRow(QString::number(number)));
    }
    MeshNode heardNow(std::uint32_t number, std::string name, std::uint32_t hops) {
        MeshNode node = makeNode(number, std::move(name), positionAt(number, 0, 0));
        node.hopsAway = hops;
        node.lastSeen = loop_.now();
        return node;
    }
};

TEST_F(MeshtasticUiTest, SidebarShowsThePlaceholderOrTheGroupsTheModelCallsFor) {
    struct Case {
        const char* name;
        bool connected, local, guarded;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> remote;  // number, hops
        Groups groups;  // none: the "no base" placeholder
        bool noRemote;
    };
    const std::vector<Case> cases{
        {"no base", false, true, false, {{5, 0}}, {}, false},
        {"base alone", true, true, false, {}, {"base"}, true},
        {"everything", true, true, true, {{5, 0}, {6, 2}}, {"base", "guarded", "nearby", "mesh"}, false},
        {"mesh only", true, false, false, {{6, 3}}, {"mesh"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window_.reset();
        defaults_ = {};
        if (c.guarded) defaults_.setNumber("guardedNode", 9);
        addDevice("ttyACM0");
        start();
        if (c.connected) acceptConnect(device("ttyACM0"));
        if (c.local) {
            emitLocalNode(1);
            emitNode(heardNow(1, "Base", 0));
        }
        if (c.guarded) emitNode(heardNow(9, "Bike", 1));
        for (const auto& [number, hops] : c.remote) emitNode(heardNow(number, "Node " + std::to_string(number), hops));
        openWindow();
        EXPECT_EQ(shown("meshtasticNoBase"), !c.connected);
        EXPECT_EQ(c.connected && shown("meshtasticNoRemoteNodes"), c.noRemote);
        EXPECT_EQ(groupIds(), c.groups);
    }
}

TEST_F(MeshtasticUiTest, SelectionFollowsTheNodeThroughRenamesAndResorting) {
    startConnected();
    for (const auto& [number, name] : {std::pair(1u, "Alpha"), std::pair(2u, "Bravo"), std::pair(3u, "Charlie")})
        emitNode(makeNode(number, name));
    openWindow();
    selectInList(2);
    EXPECT_EQ(model().selectedNodeID(), 2u);

    emitNode(makeNode(2, "Zulu"));  // moves to the end of its group
    emitNode(makeNode(4, "Aardvark"));
    settle();
    EXPECT_EQ(listed(), 2u);
    EXPECT_EQ(find<QLabel>("inspectorName").text(), "Zulu");
    EXPECT_TRUE(list().selectionModel()->isSelected(list().currentIndex()));

    model().setSelectedNodeID(3);
    settle();
    EXPECT_EQ(listed(), 3u);
}

TEST_F(MeshtasticUiTest, ContextActionsAndInspectorButtonsCallTheirOperations) {
    startConnected();
    emitNode(makeNode(7, "Tracker", positionAt(7, 0, 0)));
    emitNode(makeNode(8, "Other"));
    openWindow();
    selectInList(8);

    find<QAction>("messageNodeAction").trigger();
    settle();
    EXPECT_EQ(model().messageRecipient(), 8u);
    EXPECT_TRUE(shown("messageField"));
    EXPECT_EQ(find<QComboBox>("recipientPicker").currentData().toLongLong(), 8);

    selectInList(7);
    EXPECT_TRUE(find<QAbstractButton>("inspectorGuardButton").isEnabled());
    find<QAction>("guardNodeAction").trigger();
    settle();
    EXPECT_EQ(model().guardedNodeID(), 7u);
    EXPECT_FALSE(find<QAbstractButton>("inspectorGuardButton").isEnabled());
    EXPECT_FALSE(find<QAbstractButton>("clearMarkButton").isEnabled());

    find<QAbstractButton>("markButton").click();
    settle();
    ASSERT_TRUE(model().parkedPosition().has_value());
    EXPECT_EQ(model().parkedPosition()->nodeNumber, 7u);
    EXPECT_TRUE(find<QAbstractButton>("clearMarkButton").isEnabled());

    find<QAbstractButton>("clearMarkButton").click();
    EXPECT_FALSE(model().parkedPosition().has_value());

    find<QAbstractButton>("inspectorMessageButton").click();
    EXPECT_EQ(model().messageRecipient(), 7u);

    find<QAbstractButton>("stopGuardingButton").click();
    settle();
    EXPECT_FALSE(model().guardedNodeID().has_value());
}

TEST_F(MeshtasticUiTest, RadiusShowsWhatIsStoredAndWritesOnlyTheUsersMove) {
    defaults_.setNumber("guardedNode", 7);
    defaults_.setNumber("parkingRadius", 120);
    startConnected();
    emitNode(makeNode(7, "Tracker"));
    openWindow();
    model().setSelectedNodeID(7);
    settle();
    auto& slider = *find<QWidget>("alertRadius").findChild<QSlider*>();
    EXPECT_EQ(model().parkingRadius(), 120);  // shown, not snapped to 125
    EXPECT_EQ(defaults_.number("parkingRadius"), 120);

    EXPECT_EQ(std::pair(slider.accessibleName(), slider.value()), std::pair(QStringLiteral("Alert radius"), 125));
    slider.setValue(160);  // dragged between two steps: the nearer one
    EXPECT_EQ(std::pair(model().parkingRadius(), slider.value()), std::pair(150.0, 150));
    EXPECT_EQ(slider.accessibleDescription(), "150 m");
    slider.setValue(slider.maximum() + 5);
    EXPECT_EQ(model().parkingRadius(), 500);
}

TEST_F(MeshtasticUiTest, AMarkWithoutAPositionOfTheGuardedDeviceIsNoMissingMark) {
    defaults_.setNumber("guardedNode", 7);
    const std::string mark = *encodeWithReferenceDate(positionAt(7, 0, 0));
    defaults_.setData("parkedPosition", DefaultsStore::Data(mark.begin(), mark.end()));
    startConnected();
    emitNode(makeNode(7, "Tracker"));
    openWindow();
    model().setSelectedNodeID(7);
    settle();
    ASSERT_TRUE(model().parkedPosition().has_value());
    EXPECT_EQ(find<QLabel>("distanceValue").text(), "No position yet");
    model().clearParking();
    settle();
    EXPECT_EQ(find<QLabel>("distanceValue").text(), "Not marked");
}

TEST_F(MeshtasticUiTest, SendingEmptiesTheFieldAndSendsTheTextAsTypedWithinThePacketLimit) {
    startConnected();
    openWindow();
    auto& field = find<QLineEdit>("messageField");
    auto& send = find<QToolButton>("sendButton");
    const auto written = bridge().written.size();

    field.setText(" \t ");
    EXPECT_FALSE(send.isEnabled());
    Q_EMIT field.returnPressed();
    EXPECT_EQ(bridge().written.size(), written);
    EXPECT_EQ(field.text(), " \t ");

    field.setText("  hello there ");
    emitNode(makeNode(3, "Someone"));  // a refresh in between keeps the typing
    settle();
    EXPECT_EQ(field.text(), "  hello there ");
    ASSERT_TRUE(send.isEnabled());
    send.click();
    EXPECT_TRUE(field.text().isEmpty());
    ASSERT_EQ(bridge().written.size(), written + 1);
    EXPECT_EQ(bridge().request().text, "hello there");

    // The line under the field counts UTF-8 bytes against the recipient's limit.
    const auto state = [&] {
        settle();
        const auto& line = find<QLabel>("messageTooLong");
        return std::pair(send.isEnabled(), line.isHidden() ? QString() : line.text());
    };
    field.setText(QString(116, QChar(0xe9)) + QLatin1Char('a'));
    EXPECT_EQ(state(), std::pair(false, QStringLiteral("Too long to send: 233 bytes; a channel message holds at most 232.")));
    field.setText(QString(221, QLatin1Char('a')));
    model().setMessageRecipient(3);
    EXPECT_EQ(state(), std::pair(false, QStringLiteral("Too long to send: 221 bytes; a direct message holds at most 220.")));
}

TEST_F(MeshtasticUiTest, AlertChoicesAndTheTrackExportActOnTheShownNode) {
    defaults_.setNumber("meshSilenceDelay.8", 2700);
    startConnected();
    emitNode(makeNode(7, "Bike/Blue", positionAt(7, 0, 0)));
    emitNode(makeNode(8, "No fix"));
    openWindow();
    auto& silent = find<QCheckBox>("silentAlertToggle");
    auto& delay = find<QComboBox>("silenceDelayPicker");
    auto& battery = find<QCheckBox>("batteryAlertToggle");
    auto& exportTrack = find<QAbstractButton>("exportTrackButton");
    selectInList(8);
    EXPECT_EQ(std::tuple(silent.isChecked(), delay.currentText(), battery.isChecked(), exportTrack.isEnabled()),
              std::tuple(true, "45 min", false, false));
    selectInList(7);
    EXPECT_EQ(std::tuple(silent.isChecked(), delay.isEnabled(), delay.currentText()), std::tuple(false, false, "1 h"));
    silent.click();
    battery.click();
    delay.setCurrentIndex(delay.findText("6 h"));
    Q_EMIT delay.activated(delay.currentIndex());
    const auto& health = model().meshHealth();
    EXPECT_EQ(std::pair(health.silenceDelay(7), health.batteryThreshold(7)),
              std::pair(std::optional(std::chrono::seconds(21600)), std::optional(20u)));

    const std::string file = dataFile("track.gpx");
    QString suggested;
    auto& inspector = find<MeshtasticInspector>("");
    inspector.setTrackFileChooser([&](QWidget*, const QString& offered) {
        suggested = offered;
        return QString::fromStdString(file);
    });
    exportTrack.click();
    EXPECT_TRUE(suggested.endsWith("/Bike-Blue.gpx") && std::filesystem::exists(file)) << suggested.toStdString();
    inspector.setTrackFileChooser([&](QWidget*, const QString&) { return QString::fromStdString(file + "/none"); });
    exportTrack.click();
    EXPECT_TRUE(model().errorMessage().value_or("").starts_with("Could not write the track: "));
}

TEST_F(MeshtasticUiTest, ASilentNodeIsMarkedInTheListTheInspectorAndOnTheMap) {
    defaults_.setNumber("meshSilenceDelay.7", 3600);
    startConnected();
    MeshNode node = heardNow(7, "Tracker", 1);
    emitNode(node);
    openWindow();
    auto& map = find<MapView>("meshtasticMap");
    // The node, selected, in the middle of the map; a point of its badge between the symbol and the ring.
    const auto badgeColour = [&] {
        map.setRegion({{node.position->latitude, node.position->longitude}, 0.01, 0.01});
        settle();
        return map.grab().toImage().pixelColor(map.width() / 2 + 12, map.height() / 2);
    };
    const QColor active = badgeColour();
    EXPECT_TRUE(row(7).caption.startsWith("!00000007 · Last heard ")) << row(7).caption.toStdString();

    loop_.advance(std::chrono::minutes(61));
    settle();
    EXPECT_EQ(row(7).badges.front().text, "Silent");
    EXPECT_EQ(std::pair(shown("silenceValue"), find<QLabel>("silenceValue").text()),
              std::pair(true, QStringLiteral("Silent: nothing heard for 1 h")));
    EXPECT_NE(badgeColour(), active);

    node.lastSeen = loop_.now();
    emitNode(node);
    EXPECT_EQ(badgeColour(), active);
}

TEST_F(MeshtasticUiTest, TheShownSectionIsRememberedAcrossARelaunch) {
    startConnected();
    EXPECT_EQ(openWindow().currentSection(), NetworkSection::meshtastic);
    window_->showSection(NetworkSection::localNetwork);
    EXPECT_EQ(openWindow().currentSection(), NetworkSection::localNetwork);
    EXPECT_TRUE(window_->section(NetworkSection::localNetwork)->sidebar()->isVisibleTo(window_.get()));
    defaults_.setString("main.selectedNetwork", "Nowhere");
    EXPECT_EQ(openWindow().currentSection(), NetworkSection::meshtastic);
}

TEST_F(MeshtasticUiTest, TheMapKeepsOnlyARegionTheUserHasSeen) {
    startConnected();
    openWindow();
    window_->close();  // a run without positions: the map never showed
    EXPECT_FALSE(defaults_.contains("map.hasSavedRegion"));

    openWindow();
    emitNode(makeNode(8, "Near", positionAt(8, 0, 0)));
    settle();
    auto& map = find<MapView>("meshtasticMap");
    ASSERT_TRUE(map.isVisible());
    const MapRegion moved{{48.2, 16.37}, 0.5, 0.6};
    map.setRegion(moved);
    Q_EMIT map.regionSettled(moved);
    EXPECT_EQ(defaults_.boolean("map.hasSavedRegion"), true);
    const double latitude = *defaults_.number("map.centerLatitude");

    // A relaunch restores it, and positions arriving later do not refit it.
    openWindow();
    emitNode(makeNode(7, "Far away", positionAt(7, 5000, 0)));
    settle();
    auto& restored = find<MapView>("meshtasticMap");
    EXPECT_NEAR(restored.region().center.latitude, latitude, 1e-6);
    window_->close();
    EXPECT_NEAR(*defaults_.number("map.centerLatitude"), latitude, 1e-6);
}

}  // namespace
}  // namespace corvane
