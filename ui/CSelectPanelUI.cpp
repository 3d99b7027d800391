#include "ui/CSelectPanelUI.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/CDeviceKeyButtonUI.h"

namespace talyx {

CSelectPanelUI::CSelectPanelUI(QWidget* parent) : CContainerUI(parent) {}

QList<CDeviceKeyButtonUI*> CSelectPanelUI::SelectedButtons() const {
    QList<CDeviceKeyButtonUI*> out;
    for (auto* b : findChildren<CDeviceKeyButtonUI*>())
        if (b->IsSelected() && b->IsVisible())
            out.append(b);
    return out;
}

void CSelectPanelUI::SelectInRect(const QRect& area, bool add) {
    for (auto* b : findChildren<CDeviceKeyButtonUI*>()) {
        if (!b->IsVisible() || !b->isEnabled())
            continue;
        const QRect r(b->mapTo(this, QPoint(0, 0)), b->size());
        if (r.intersects(area))
            b->Selected(true, false);
        else if (!add)
            b->Selected(false, false);
    }
}

void CSelectPanelUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_start = m_current = event->position().toPoint();
}

void CSelectPanelUI::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    m_current = event->position().toPoint();
    update();
}

void CSelectPanelUI::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    m_dragging = false;
    m_current = event->position().toPoint();
    SelectInRect(QRect(m_start, m_current).normalized(), event->modifiers() & Qt::ControlModifier);
    update();
    SendNotify(notify::kClickSelectEnd);
}

void CSelectPanelUI::paintEvent(QPaintEvent* event) {
    CContainerUI::paintEvent(event);
    if (!m_dragging)
        return;
    QPainter p(this);
    p.setPen(QPen(QColor(0x00, 0xd1, 0xff), 1, Qt::DashLine));
    p.setBrush(QColor(0x00, 0xd1, 0xff, 40));
    p.drawRect(QRect(m_start, m_current).normalized());
}

} // namespace talyx
