// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fetches OpenStreetMap-style tiles the way the tile usage policy asks: a
// User-Agent naming the program, HTTP caching honoured through a disk cache
// (entries kept at least a week, never "no-cache" requests), only the tiles
// on screen requested and the rest cancelled, nothing prefetched. Decoded
// tiles stay in a small in-memory LRU; a tile that fails is reported as
// failed so the view draws the grid there. One loader serves every map view
// of the window: one disk cache, one connection pool, each tile fetched once
// however many views show it.
#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <vector>

#include "ui/map/TileKey.h"

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;

namespace corvane {

class TileLoader : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDiskCacheBytes = 200LL * 1024 * 1024;
    static constexpr qsizetype kMemoryKiB = 48 * 1024;  // about 190 decoded 256-pixel tiles
    // A failed tile is asked for again only after this long, so a dead server
    // is not hammered on every repaint.
    static constexpr std::chrono::seconds kRetryAfter{60};

    // What the tile servers' usage policies ask a client to send: the
    // program, its version and where its makers can be reached.
    static QString userAgentFor(const QString& version);

    explicit TileLoader(QObject* parent = nullptr);
    ~TileLoader() override;

    void setUrlTemplate(const QString& urlTemplate);
    bool enabled() const { return !urlTemplate_.isEmpty(); }
    void setCacheFolder(const QString& folder);
    void setUserAgent(const QString& userAgent);

    // The tiles `view` shows now: missing ones are requested, requests for
    // tiles no view shows are cancelled.
    void setVisible(const void* view, const std::vector<TileKey>& keys);
    void setVisible(const std::vector<TileKey>& keys) { setVisible(this, keys); }
    // `view` shows no tiles any more (it went away).
    void release(const void* view);
    const QImage* image(const TileKey& key) const;
    bool failed(const TileKey& key) const;
    int pendingCount() const { return int(pending_.size()); }

signals:
    void tileArrived();

private:
    void requestWanted();
    void prepareFolder();
    void start(const TileKey& key);
    void finished(QNetworkReply* reply, const TileKey& key);
    void insertImage(quint64 packed, std::unique_ptr<QImage> image);
    bool decodeFromDisk(const QUrl& url, const TileKey& key);
    QUrl urlFor(const TileKey& key) const;

    QString urlTemplate_;
    QString userAgent_;
    QString folder_;
    bool folderReady_ = false;
    QNetworkAccessManager* network_ = nullptr;
    QNetworkDiskCache* diskCache_ = nullptr;
    QCache<quint64, QImage> images_;
    QHash<quint64, QNetworkReply*> pending_;
    QHash<const void*, std::vector<TileKey>> wanted_;
    QHash<quint64, std::chrono::steady_clock::time_point> failures_;
};

}  // namespace corvane
