#include "online/CUpdateRingUI.h"

#include <QConicalGradient>
#include <QPainter>
#include <QTimer>

namespace talyx {

CUpdateRingUI::CUpdateRingUI(QWidget* parent) : CControlUI(parent), m_timer(new QTimer(this)) {
    m_timer->setInterval(40);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 12) % 360;
        update();
    });
}

void CUpdateRingUI::SetSpinning(bool spinning) {
    if (spinning)
        m_timer->start();
    else
        m_timer->stop();
    SetVisible(spinning);
}

bool CUpdateRingUI::IsSpinning() const {
    return m_timer->isActive();
}

void CUpdateRingUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int pen = qMax(2, Scale(3));
    const int side = qMin(width(), height()) - pen;
    const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    p.setPen(QPen(QColor(0x2a, 0x30, 0x3c), pen));
    p.drawEllipse(r);
    QConicalGradient g(r.center(), -m_angle);
    g.setColorAt(0, QColor(0x00, 0xd1, 0xff));
    g.setColorAt(0.7, QColor(0x7b, 0x5c, 0xff, 0));
    p.setPen(QPen(QBrush(g), pen, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r, -m_angle * 16, 250 * 16);
}

} // namespace talyx
