#include "ui/CChartViewUI.h"

#include <QPainter>
#include <QPainterPath>

namespace talyx {

CChartViewUI::CChartViewUI(QWidget* parent) : CControlUI(parent) {}

void CChartViewUI::SetPoints(const QList<QPointF>& points) {
    m_points = points;
    update();
}

void CChartViewUI::SetRange(const QRectF& range) {
    if (range.width() > 0 && range.height() > 0)
        m_range = range;
    update();
}

void CChartViewUI::paintEvent(QPaintEvent* event) {
    CControlUI::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(Scale(6), Scale(6), -Scale(6), -Scale(6));
    p.setPen(QPen(QColor(0x2a, 0x2f, 0x3a), 1));
    for (int i = 0; i <= 4; ++i) {
        const qreal y = area.top() + area.height() * i / 4;
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    if (m_points.size() < 2)
        return;
    QPainterPath path;
    for (int i = 0; i < m_points.size(); ++i) {
        const QPointF& v = m_points[i];
        const QPointF pt(area.left() + (v.x() - m_range.left()) / m_range.width() * area.width(),
                         area.bottom() - (v.y() - m_range.top()) / m_range.height() * area.height());
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    p.setPen(QPen(QColor(0x00, 0xd1, 0xff), Scale(2)));
    p.drawPath(path);
}

} // namespace talyx
