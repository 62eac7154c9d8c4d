// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the real corvane-bridge-sim in its demo mode, which `corvane
// --demo` shows to users: each request is answered with its ID, the simulated
// mesh reports its nodes, repeats one message and lets the Bike ride away,
// and the stand-in ends when its input does. Its fault modes are exercised
// by the MeshRadio integration and end-to-end tests. Every wait is bounded;
// the QProcess kills and reaps the child whatever the outcome.
#include <gtest/gtest.h>

#include <QProcess>
#include <map>
#include <set>

#include "core/MeshMath.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Command = MeshtasticBridgeCommand;
using Event = MeshtasticBridgeEvent;

TEST(BridgeSimTest, DemoAnswersEachRequestAndTheBikeRidesAway) {
    constexpr std::uint32_t kBike = 186443169;
    QProcess sim;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.remove("CORVANE_BRIDGE_SIM_ARGS");
    sim.setProcessEnvironment(environment);
    sim.start(qEnvironmentVariable("CORVANE_BUILD_BIN", ".") + "/corvane-bridge-sim",
              {"serve", "--jsonl", "--demo", "--speed", "50"});
    ASSERT_TRUE(sim.waitForStarted(3000));
    const auto deadline = Clock::now() + 6s;
    const auto next = [&]() -> std::optional<MeshtasticBridgeResponse> {
        while (!sim.canReadLine() && Clock::now() < deadline) sim.waitForReadyRead(100);
        if (!sim.canReadLine()) return std::nullopt;
        return decodeMeshtasticBridgeResponse(sim.readLine().trimmed().toStdString());
    };
    const auto send = [&sim](Command command, std::optional<std::uint32_t> recipient = {}) {
        MeshtasticBridgeRequest request(command);
        if (command == Command::connect) request.port = "/dev/ttyUSB7";
        if (command == Command::sendText) request.text = "where are you?", request.channel = 0, request.recipient = recipient;
        const auto line = encodeLine(request).value();
        sim.write(line.data(), static_cast<qint64>(line.size()));
        return request.requestID;
    };

    std::map<Uuid, Event> replies;
    std::set<std::uint32_t> nodes;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> deliveries;
    std::vector<MeshPosition> bike;
    int outsideInARow = 0, answers = 0, duplicated = 0;
    const auto connect = send(Command::connect);
    const auto sendText = send(Command::sendText, kBike);
    while (outsideInARow < 2 || answers == 0 || duplicated == 0) {
        const auto news = next();
        if (!news) break;
        if (news->requestID) replies.emplace(*news->requestID, news->event);
        if (news->node) nodes.insert(news->node->number);
        if (news->message) answers += news->message->sender == kBike && news->message->text == "Got it 👍";
        if (news->message && ++deliveries[{news->message->sender, news->message->packetID}] == 2) ++duplicated;
        if (!news->node || news->node->number != kBike || !news->node->position) continue;
        const auto& fix = *news->node->position;
        EXPECT_TRUE(bike.empty() || fix.timestamp > bike.back().timestamp) << "fixes must be newer than the mark";
        bike.push_back(fix);
        if (outsideInARow < 2) outsideInARow = MeshMath::distanceMeters(bike[0], fix) > 75.0 ? outsideInARow + 1 : 0;
    }
    EXPECT_EQ(replies, (std::map<Uuid, Event>{{connect, Event::connected}, {sendText, Event::sent}}));
    EXPECT_GE(nodes.size(), 5U);
    EXPECT_EQ(outsideInARow, 2) << "two successive Bike fixes outside 75 m of its first one";
    EXPECT_EQ(answers, 1) << "the Bike answers a direct message";
    EXPECT_EQ(duplicated, 1) << "one message is delivered twice under the same packet number";
    EXPECT_GE(deliveries.size(), 2U);

    const auto disconnect = send(Command::disconnect);
    std::optional<MeshtasticBridgeResponse> reply;
    while ((reply = next()) && reply->requestID != disconnect) {}
    EXPECT_TRUE(reply && reply->event == Event::disconnected);
    sim.closeWriteChannel();
    EXPECT_TRUE(sim.waitForFinished(3000));
    EXPECT_EQ(std::pair(sim.exitStatus(), sim.exitCode()), std::pair(QProcess::NormalExit, 0));
}

}  // namespace
}  // namespace corvane
