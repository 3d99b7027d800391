#include "ui/UIAttributes.h"

#include <QStringList>

namespace talyx {
namespace {

QList<int> numbers(const QString& text, int count) {
    QList<int> out;
    const QStringList parts = text.split(',');
    for (int i = 0; i < count; ++i)
        out.append(i < parts.size() ? parts[i].trimmed().toInt() : 0);
    return out;
}

} // namespace

uint32_t ParseColor(const QString& text) {
    QString t = text.trimmed();
    if (t.startsWith('#'))
        t = t.mid(1);
    else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    bool ok = false;
    uint32_t v = t.toUInt(&ok, 16);
    if (!ok)
        return 0;
    if (t.size() <= 6)
        v |= 0xFF000000u;
    return v;
}

QColor ToQColor(uint32_t argb) { return QColor::fromRgba(argb); }

QRect ParseRect(const QString& text) {
    const QList<int> n = numbers(text, 4);
    return QRect(QPoint(n[0], n[1]), QPoint(n[2] - 1, n[3] - 1));
}

QMargins ParseMargins(const QString& text) {
    const QList<int> n = numbers(text, 4);
    return QMargins(n[0], n[1], n[2], n[3]);
}

QSize ParseSize(const QString& text) {
    const QList<int> n = numbers(text, 2);
    return QSize(n[0], n[1]);
}

bool ParseBool(const QString& text) {
    const QString t = text.trimmed().toLower();
    return t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes");
}

} // namespace talyx
