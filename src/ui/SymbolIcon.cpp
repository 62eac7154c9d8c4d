// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SymbolIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <memory>
#include <optional>

// The symbols live in a static library: its resources register on first use.
static void registerSymbolResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace corvane {
namespace {

QString resourcePath(const QString& name) { return QStringLiteral(":/symbols/%1.svg").arg(name); }

QSvgRenderer& renderer(const QString& name) {
    registerSymbolResources();
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto& slot = renderers[name];
    if (!slot) slot = std::make_shared<QSvgRenderer>(resourcePath(name));
    return *slot;
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QPalette::ColorRole role, std::optional<QColor> color)
        : name_(std::move(name)), role_(role), color_(std::move(color)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = scaledPixmap(rect.size(), mode, state, ratio);
        painter->drawPixmap(rect, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const QColor color = color_ ? *color_
                                    : QGuiApplication::palette().color(
                                          mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, role_);
        const QSize pixels = size * scale;
        const QString key = QStringLiteral("corvane-symbol:%1:%2x%3:%4")
                                .arg(name_)
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(color.rgba());
        QPixmap cached;
        if (QPixmapCache::find(key, &cached)) return cached;

        QImage image(pixels, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer(name_).render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        }
        // Dark parts take the colour, light parts become holes: one SVG
        // serves every palette.
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(line[x]) * (255 - qGray(line[x])) / 255 * color.alpha() / 255;
                line[x] = qRgba(color.red(), color.green(), color.blue(), alpha);
            }
        }
        QPixmap result = QPixmap::fromImage(image);
        result.setDevicePixelRatio(scale);
        QPixmapCache::insert(key, result);
        return result;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(name_, role_, color_); }
    QString key() const override { return QStringLiteral("corvane-symbol"); }
    QString iconName() override { return name_; }

private:
    QString name_;
    QPalette::ColorRole role_;
    std::optional<QColor> color_;
};

}  // namespace

QIcon SymbolIcon::icon(const QString& name, QPalette::ColorRole role) {
    return QIcon(new SymbolIconEngine(name, role, std::nullopt));
}

QIcon SymbolIcon::icon(const QString& name, const QColor& color) {
    return QIcon(new SymbolIconEngine(name, QPalette::WindowText, color));
}

bool SymbolIcon::exists(const QString& name) {
    registerSymbolResources();
    return QFile::exists(resourcePath(name)); }

QIcon SymbolIcon::applicationIcon() {
    registerSymbolResources();
    return QIcon(QStringLiteral(":/corvane.svg")); }

}  // namespace corvane
