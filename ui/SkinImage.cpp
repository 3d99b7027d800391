#include "ui/SkinImage.h"

#include <QFileInfo>
#include <QPainter>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSvgRenderer>

#include "ui/CPaintManagerUI.h"
#include "ui/UIAttributes.h"

namespace talyx {

SkinImage SkinImage::parse(const QString& text) {
    SkinImage image;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return image;
    if (!trimmed.contains('=')) {
        image.file = trimmed;
        return image;
    }
    static const QRegularExpression kPair(QStringLiteral("(\\w+)\\s*=\\s*'([^']*)'"));
    auto it = kPair.globalMatch(trimmed);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString key = m.captured(1).toLower();
        const QString value = m.captured(2);
        if (key == QLatin1String("file"))
            image.file = value;
        else if (key == QLatin1String("dest"))
            image.dest = ParseRect(value);
        else if (key == QLatin1String("source"))
            image.source = ParseRect(value);
        else if (key == QLatin1String("fade"))
            image.fade = value.toInt();
    }
    return image;
}

QString ResolveSkinPath(const QString& file) {
    QString path = file;
    path.replace('\\', '/');
    if (QFileInfo(path).isAbsolute())
        return path;
    return CPaintManagerUI::GetResourcePath() + path;
}

void DrawSkinImage(QPainter& painter, const SkinImage& image, const QRect& rect, double scale) {
    if (!image.valid() || rect.isEmpty())
        return;
    const QString path = ResolveSkinPath(image.file);
    QRect target = rect;
    if (!image.dest.isEmpty()) {
        target = QRect(rect.left() + qRound(image.dest.left() * scale), rect.top() + qRound(image.dest.top() * scale),
                       qRound(image.dest.width() * scale), qRound(image.dest.height() * scale));
    }
    if (target.isEmpty())
        return;
    painter.save();
    if (image.fade < 255)
        painter.setOpacity(image.fade / 255.0);
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QString key = QStringLiteral("svg:%1:%2x%3@%4").arg(path).arg(target.width()).arg(target.height()).arg(dpr);
        QPixmap pm;
        if (!QPixmapCache::find(key, &pm)) {
            QSvgRenderer renderer(path);
            if (renderer.isValid()) {
                pm = QPixmap(target.size() * dpr);
                pm.setDevicePixelRatio(dpr);
                pm.fill(Qt::transparent);
                QPainter p(&pm);
                p.setRenderHint(QPainter::Antialiasing);
                renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(target.size())));
                p.end();
                QPixmapCache::insert(key, pm);
            }
        }
        if (!pm.isNull())
            painter.drawPixmap(target.topLeft(), pm);
    } else {
        QPixmap pm;
        if (!QPixmapCache::find(path, &pm)) {
            if (pm.load(path))
                QPixmapCache::insert(path, pm);
        }
        if (!pm.isNull()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawPixmap(target, pm, image.source.isEmpty() ? pm.rect() : image.source);
        }
    }
    painter.restore();
}

} // namespace talyx
