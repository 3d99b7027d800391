#include "ui/CCircleProgressUI.h"

#include <QPainter>

#include "ui/UIAttributes.h"

namespace talyx {

CCircleProgressUI::CCircleProgressUI(QWidget* parent) : CProgressUI(parent) { m_trackColor = 0xFF2A2F3A; }

void CCircleProgressUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int ring = Scale(m_ringWidth);
    const int side = qMin(width(), height()) - ring;
    const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    p.setPen(QPen(ToQColor(m_trackColor), ring, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(r);
    const int span = m_max - m_min;
    const double f = span > 0 ? double(m_value - m_min) / span : 0.0;
    QConicalGradient g(r.center(), 90);
    g.setColorAt(0, ToQColor(m_foreColor));
    g.setColorAt(1, ToQColor(m_foreColor2 ? m_foreColor2 : m_foreColor));
    p.setPen(QPen(QBrush(g), ring, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r, 90 * 16, -qRound(f * 360 * 16));
    p.setPen(ToQColor(CurrentTextColor()));
    p.setFont(TextFont());
    p.drawText(rect(), Qt::AlignCenter, m_text.isEmpty() ? QStringLiteral("%1%").arg(qRound(f * 100)) : m_text);
}

} // namespace talyx
