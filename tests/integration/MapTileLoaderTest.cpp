// SPDX-License-Identifier: GPL-3.0-or-later
// The tile loader against a tile server of our own on 127.0.0.1: what it
// sends, what it keeps on disk, what it cancels, and the grid when the server
// is gone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <set>

#include "ui/map/MapView.h"
#include "support/WidgetApplication.h"
#include "ui/map/TileLoader.h"

namespace corvane {
namespace {

const QString kUserAgent = QStringLiteral("Corvane/0.1.0");

bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

QRgb tileColor(int x, int y) { return qRgb(40 + 60 * x, 40 + 60 * y, 200); }

// Answers GET /z/x/y.png with a PNG of one colour per tile, already expired
// when sent, so a tile served twice without a second request came from the
// loader's week-long floor rather than from the server's own lifetime.
class TileServer : public QObject {
public:
    struct Request {
        QByteArray path;
        std::map<QByteArray, QByteArray> headers;  // names in lower case
    };

    TileServer() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    if (heldSockets_.erase(socket) > 0) ++droppedHeld;
                    socket->deleteLater();
                });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }

    QString urlTemplate() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server_.serverPort());
    }

    std::vector<Request> requests;
    std::set<QByteArray> held;  // paths never answered
    int droppedHeld = 0;

private:
    void serve(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
            const QList<QByteArray> lines = buffer.left(end).split('\n');
            buffer.remove(0, end + 4);
            Request request;
            request.path = lines.value(0).split(' ').value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0) request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
            }
            requests.push_back(request);
            if (held.count(request.path) > 0) {
                heldSockets_.insert(socket);
                continue;
            }
            const QList<QByteArray> parts = request.path.split('/');
            QImage image(256, 256, QImage::Format_RGB32);
            image.fill(tileColor(parts.value(2).toInt(), parts.value(3).split('.').value(0).toInt()));
            QByteArray png;
            QBuffer out(&png);
            out.open(QIODevice::WriteOnly);
            image.save(&out, "PNG");
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nExpires: Thu, 01 Jan 1970 00:00:00 GMT\r\nContent-Length: " +
                          QByteArray::number(png.size()) + "\r\n\r\n" + png);
        }
    }

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
    std::set<QTcpSocket*> heldSockets_;
};

class MapTileLoaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { widgetApplication(); }

    QString cacheFolder() const { return home.path() + "/cache/Corvane/tiles"; }

    // A 512-pixel square view of the world at zoom 2: tiles x 1..2, y 1..2.
    std::unique_ptr<MapView> worldView(const QString& urlTemplate) {
        auto view = std::make_unique<MapView>();
        view->resize(512, 512);
        view->setRegion({{0, 0}, 1, 180});
        view->setTileCacheFolder(cacheFolder());
        view->setUserAgent(kUserAgent);
        view->setTileUrlTemplate(urlTemplate);
        return view;
    }

    QTemporaryDir home;
    TileServer server;
};

TEST_F(MapTileLoaderTest, FetchesVisibleTilesPolitelyAndServesRepeatsFromDisk) {
    auto view = worldView(server.urlTemplate());
    auto* loader = view->findChild<TileLoader*>();
    ASSERT_NE(loader, nullptr);
    view->grab();
    ASSERT_TRUE(waitFor([&] { return server.requests.size() == 4 && loader->pendingCount() == 0; }));
    const QImage image = view->grab().toImage();
    EXPECT_EQ(image.pixel(10, 10), tileColor(1, 1));
    EXPECT_EQ(image.pixel(500, 300), tileColor(2, 2));
    EXPECT_EQ(image.pixel(300, 10), tileColor(2, 1));

    std::set<QByteArray> paths;
    for (const TileServer::Request& request : server.requests) {
        paths.insert(request.path);
        EXPECT_EQ(request.headers.at("user-agent"), kUserAgent.toUtf8());
        const auto cacheControl = request.headers.find("cache-control");
        EXPECT_TRUE(cacheControl == request.headers.end() || !cacheControl->second.contains("no-cache"));
        EXPECT_EQ(request.headers.count("pragma"), 0u);
    }
    EXPECT_EQ(paths, (std::set<QByteArray>{"/2/1/1.png", "/2/1/2.png", "/2/2/1.png", "/2/2/2.png"}));
    EXPECT_EQ(QFileInfo(home.path() + "/cache/Corvane").permissions() & 0x0077, 0);

    // A second view, as after a restart: everything comes from the disk cache.
    auto again = worldView(server.urlTemplate());
    auto* secondLoader = again->findChild<TileLoader*>();
    again->grab();
    ASSERT_TRUE(waitFor([&] { return secondLoader->pendingCount() == 0; }));
    EXPECT_EQ(again->grab().toImage().pixel(500, 300), tileColor(2, 2));
    EXPECT_EQ(server.requests.size(), 4u);
}

TEST_F(MapTileLoaderTest, CancelsTilesThatLeftTheScreen) {
    server.held.insert("/3/0/0.png");
    TileLoader loader;
    loader.setCacheFolder(cacheFolder());
    loader.setUserAgent(kUserAgent);
    loader.setUrlTemplate(server.urlTemplate());
    loader.setVisible({{3, 0, 0}});
    ASSERT_TRUE(waitFor([&] { return server.requests.size() == 1; }));
    loader.setVisible({{3, 5, 4}});
    ASSERT_TRUE(waitFor([&] { return server.droppedHeld == 1 && loader.image({3, 5, 4}) != nullptr; }));
    EXPECT_EQ(loader.image({3, 5, 4})->pixel(0, 0), tileColor(5, 4));
    EXPECT_EQ(loader.image({3, 0, 0}), nullptr);
    EXPECT_FALSE(loader.failed({3, 0, 0})) << "a cancelled tile is no failure";
    EXPECT_EQ(server.requests.size(), 2u);
}

TEST_F(MapTileLoaderTest, DeadServerLeavesTheGrid) {
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
    const QString deadTemplate = QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(gone.serverPort());
    gone.close();

    auto view = worldView(deadTemplate);
    auto* loader = view->findChild<TileLoader*>();
    view->grab();
    ASSERT_TRUE(waitFor([&] { return loader->pendingCount() == 0; }));
    EXPECT_TRUE(loader->failed({2, 1, 1}));
    // A failed tile is not asked for again on every repaint.
    view->grab();
    EXPECT_EQ(loader->pendingCount(), 0);
    EXPECT_EQ(view->grab().toImage(), worldView(QString())->grab().toImage());
}

// The settle signal runs on Qt's real timers, so it is checked here rather
// than among the unit tests.
TEST(MapViewSettleTest, AnimationEndAndUserPauseEachReportOnce) {
    widgetApplication();
    MapView view;
    view.resize(512, 400);
    view.setRegion({{48.0, 11.0}, 0.1, 0.1});
    QSignalSpy settled(&view, &MapView::regionSettled);
    const MapRegion target{{47.5, 12.5}, 0.02, 0.02};
    view.animateTo(target, std::chrono::milliseconds(30));
    ASSERT_TRUE(waitFor([&] { return settled.count() == 1; }));
    const auto reported = settled.at(0).at(0).value<MapRegion>();
    EXPECT_NEAR(reported.center.latitude, target.center.latitude, 1e-9);
    EXPECT_NEAR(reported.center.longitude, target.center.longitude, 1e-9);
    EXPECT_NEAR(reported.latitudeDelta, target.latitudeDelta, 1e-9);

    // Two quick key presses settle once, after the pause.
    for (int i = 0; i < 2; ++i) {
        QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QApplication::sendEvent(&view, &right);
    }
    EXPECT_EQ(settled.count(), 1);
    ASSERT_TRUE(waitFor([&] { return settled.count() == 2; }));
    EXPECT_NEAR(settled.at(1).at(0).value<MapRegion>().center.longitude,
                target.center.longitude + 2 * view.region().longitudeDelta / 8, 1e-9);
}

}  // namespace
}  // namespace corvane
