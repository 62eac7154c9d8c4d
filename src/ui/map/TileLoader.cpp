// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/TileLoader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCacheMetaData>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QUrl>
#include <utility>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 kMinimumCacheSeconds = 7LL * 24 * 60 * 60;

// Tile servers often ask for revalidation within hours; the usage policy
// asks clients to keep tiles at least a week, so a stored entry is treated
// as fresh for seven days or for as long as the server allows, whichever is
// longer.
class WeekLongDiskCache final : public QNetworkDiskCache {
public:
    using QNetworkDiskCache::QNetworkDiskCache;

    QIODevice* prepare(const QNetworkCacheMetaData& metaData) override {
        QNetworkCacheMetaData kept = metaData;
        const QDateTime floor = QDateTime::currentDateTimeUtc().addSecs(kMinimumCacheSeconds);
        if (!kept.expirationDate().isValid() || kept.expirationDate() < floor) kept.setExpirationDate(floor);
        return QNetworkDiskCache::prepare(kept);
    }
};

}  // namespace

TileLoader::TileLoader(QObject* parent)
    : QObject(parent), images_(kMemoryKiB) {
    // Tile servers turn away requests without a User-Agent; until the window
    // names the version, the program's own name and version stand in.
    userAgent_ = userAgentFor(QCoreApplication::applicationVersion());
}

QString TileLoader::userAgentFor(const QString& version) {
    return QStringLiteral("Corvane/%1 (+https://corvane.org/)")
        .arg(version.isEmpty() ? QStringLiteral("development") : version);
}

TileLoader::~TileLoader() {
    for (QNetworkReply* reply : std::as_const(pending_)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void TileLoader::setUrlTemplate(const QString& urlTemplate) {
    if (urlTemplate == urlTemplate_) return;
    urlTemplate_ = urlTemplate;
    const auto wanted = std::exchange(wanted_, {});
    requestWanted();
    wanted_ = wanted;
    images_.clear();
    failures_.clear();
}

void TileLoader::setCacheFolder(const QString& folder) {
    // Applied at the first request: the disk cache creates its folders as
    // soon as it is told where, and an offline map should leave no trace.
    folder_ = folder;
    folderReady_ = false;
}

void TileLoader::prepareFolder() {
    // Folders we create under the user's cache are private, like every other
    // file the application writes; existing ones are left as the user has them.
    std::vector<QString> missing;
    for (QString path = QDir::cleanPath(folder_); !path.isEmpty() && !QDir(path).exists();) {
        missing.push_back(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path) break;
        path = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!QDir().mkdir(*it)) break;
        QFile::setPermissions(*it, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // The network stack and its cache wait for the first tile: the window's
    // start, and an offline map, need neither.
    if (network_ == nullptr) {
        network_ = new QNetworkAccessManager(this);
        diskCache_ = new WeekLongDiskCache(this);
        diskCache_->setMaximumCacheSize(kDiskCacheBytes);
        network_->setCache(diskCache_);  // reparents the cache to the manager
    }
    diskCache_->setCacheDirectory(folder_);
    folderReady_ = true;
}

void TileLoader::setUserAgent(const QString& userAgent) { userAgent_ = userAgent; }

QUrl TileLoader::urlFor(const TileKey& key) const {
    QString text = urlTemplate_;
    text.replace(QLatin1String("{z}"), QString::number(key.zoom));
    text.replace(QLatin1String("{x}"), QString::number(key.x));
    text.replace(QLatin1String("{y}"), QString::number(key.y));
    return QUrl(text);
}

void TileLoader::setVisible(const void* view, const std::vector<TileKey>& keys) {
    wanted_.insert(view, keys);
    requestWanted();
}

void TileLoader::release(const void* view) {
    if (wanted_.remove(view) > 0) requestWanted();
}

void TileLoader::requestWanted() {
    QSet<quint64> wanted;
    std::vector<TileKey> keys;
    for (const auto& shown : std::as_const(wanted_)) {
        for (const TileKey& key : shown) {
            if (!wanted.contains(key.packed())) keys.push_back(key);
            wanted.insert(key.packed());
        }
    }
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        QNetworkReply* reply = it.value();
        it = pending_.erase(it);
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (!enabled()) return;
    const auto now = Clock::now();
    for (const TileKey& key : keys) {
        const quint64 packed = key.packed();
        if (images_.contains(packed) || pending_.contains(packed)) continue;
        const auto failure = failures_.constFind(packed);
        if (failure != failures_.cend() && now - failure.value() < kRetryAfter) continue;
        start(key);
    }
}

void TileLoader::start(const TileKey& key) {
    if (!folderReady_) prepareFolder();
    const QUrl url = urlFor(key);
    if (!url.isValid() || url.scheme().isEmpty()) {
        failures_.insert(key.packed(), Clock::now());
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent_);
    // PreferNetwork (Qt's default) serves fresh entries from the disk cache
    // and revalidates stale ones with a conditional request; AlwaysNetwork
    // would add the "no-cache" headers the tile servers ask clients not to send.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
    QNetworkReply* reply = network_->get(request);
    pending_.insert(key.packed(), reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply, key] { finished(reply, key); });
}

void TileLoader::finished(QNetworkReply* reply, const TileKey& key) {
    reply->deleteLater();
    const quint64 packed = key.packed();
    if (pending_.value(packed) != reply) return;
    pending_.remove(packed);
    bool ok = false;
    if (reply->error() == QNetworkReply::NoError) {
        auto image = std::make_unique<QImage>();
        if (image->loadFromData(reply->readAll())) {
            insertImage(packed, std::move(image));
            ok = true;
        }
    } else {
        // Offline, a tile kept past its freshness is still better than the grid.
        ok = decodeFromDisk(reply->request().url(), key);
    }
    if (ok) {
        failures_.remove(packed);
    } else {
        failures_.insert(packed, Clock::now());
    }
    emit tileArrived();
}

bool TileLoader::decodeFromDisk(const QUrl& url, const TileKey& key) {
    if (diskCache_->cacheDirectory().isEmpty()) return false;
    std::unique_ptr<QIODevice> stored(diskCache_->data(url));
    if (!stored) return false;
    auto image = std::make_unique<QImage>();
    if (!image->loadFromData(stored->readAll())) return false;
    insertImage(key.packed(), std::move(image));
    return true;
}

void TileLoader::insertImage(quint64 packed, std::unique_ptr<QImage> image) {
    // Palette PNGs are common on tile servers; converted once here, they are
    // blitted without a lookup on every repaint.
    if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied) {
        image->convertTo(image->hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    }
    const auto kib = std::max<qsizetype>(1, image->sizeInBytes() / 1024);
    images_.insert(packed, image.release(), kib);
}

const QImage* TileLoader::image(const TileKey& key) const { return images_.object(key.packed()); }

bool TileLoader::failed(const TileKey& key) const { return failures_.contains(key.packed()); }

}  // namespace corvane
