#include "ui/CMpDevicePowerUI.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/CResourceManager.h"

namespace talyx {

CMpDevicePowerUI::CMpDevicePowerUI(QWidget* parent) : CControlUI(parent) {}

void CMpDevicePowerUI::SetStatus(const std::array<uint8_t, 6>& status) {
    m_status = status;
    m_status[0] = std::min<uint8_t>(m_status[0], 100);
    QString name;
    if (m_status[3]) {
        const QString level = CResourceManager::GetInstance().GetText(QStringLiteral("battery_level"));
        const QString percent = QString::number(m_status[0]);
        name = level.contains(QLatin1String("%1")) ? level.arg(percent) : level + QLatin1Char(' ') + percent + '%';
        if (IsCharging())
            name += QStringLiteral(", ") + CResourceManager::GetInstance().GetText(QStringLiteral("battery_charging"));
    }
    setAccessibleName(name);
    update();
}

void CMpDevicePowerUI::paintEvent(QPaintEvent* event) {
    // Until a wireless device has reported its charge there is nothing to show, not even
    // the indicator's background: an empty box would look like a control that does nothing.
    if (!m_status[3])
        return;
    CControlUI::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = qMin(height() - 4, Scale(14));
    const int w = Scale(28);
    const QRectF body(Scale(4), (height() - h) / 2.0, w, h);
    p.setPen(QPen(QColor(0xc8, 0xcc, 0xd6), Scale(1)));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, Scale(3), Scale(3));
    p.fillRect(QRectF(body.right() + 1, body.center().y() - h / 4.0, Scale(3), h / 2.0), QColor(0xc8, 0xcc, 0xd6));
    const int level = m_status[0];
    const QColor fill =
        level <= 15 ? QColor(0xff, 0x4d, 0x4d) : (level <= 40 ? QColor(0xff, 0xb3, 0x00) : QColor(0x2e, 0xe5, 0x9d));
    QRectF inner = body.adjusted(Scale(2), Scale(2), -Scale(2), -Scale(2));
    inner.setWidth(inner.width() * level / 100.0);
    QPainterPath path;
    path.addRoundedRect(inner, Scale(2), Scale(2));
    p.fillPath(path, fill);
    p.setPen(QColor(0xe8, 0xea, 0xf0));
    p.setFont(TextFont());
    const QString text = QStringLiteral("%1%%2").arg(level).arg(IsCharging() ? QStringLiteral(" ⚡") : QString());
    p.drawText(QRectF(body.right() + Scale(8), 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft, text);
}

} // namespace talyx
