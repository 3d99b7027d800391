#include "ui/CSelectPanelUI.h"

#include <QKeyEvent>
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

void CSelectPanelUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    QPoint dir;
    if (key == Qt::Key_Left)
        dir = QPoint(-1, 0);
    else if (key == Qt::Key_Right)
        dir = QPoint(1, 0);
    else if (key == Qt::Key_Up)
        dir = QPoint(0, -1);
    else if (key == Qt::Key_Down)
        dir = QPoint(0, 1);
    auto* from = qobject_cast<CDeviceKeyButtonUI*>(focusWidget());
    if (dir.isNull() || !from || !isAncestorOf(from)) {
        CContainerUI::keyPressEvent(event);
        return;
    }
    event->accept();
    // The nearest key ahead among those in line with this one (their spans across the
    // direction overlap); at the end of a row or column the focus stays.
    const QRect origin(from->mapTo(this, QPoint(0, 0)), from->size());
    const bool horizontal = dir.y() == 0;
    CDeviceKeyButtonUI* best = nullptr;
    long long bestScore = 0;
    for (auto* b : findChildren<CDeviceKeyButtonUI*>()) {
        if (b == from || !b->isVisible() || !b->isEnabled())
            continue;
        const QRect r(b->mapTo(this, QPoint(0, 0)), b->size());
        const int ahead = horizontal ? (r.center().x() - origin.center().x()) * dir.x()
                                     : (r.center().y() - origin.center().y()) * dir.y();
        const int overlap = horizontal ? qMin(r.bottom(), origin.bottom()) - qMax(r.top(), origin.top())
                                       : qMin(r.right(), origin.right()) - qMax(r.left(), origin.left());
        if (ahead <= 0 || overlap <= 0)
            continue;
        const int gap = qMax(0, horizontal ? (dir.x() > 0 ? r.left() - origin.right() : origin.left() - r.right())
                                           : (dir.y() > 0 ? r.top() - origin.bottom() : origin.top() - r.bottom()));
        const int across =
            horizontal ? qAbs(r.center().y() - origin.center().y()) : qAbs(r.center().x() - origin.center().x());
        const long long score = static_cast<long long>(gap) * 100000 + across;
        if (!best || score < bestScore) {
            best = b;
            bestScore = score;
        }
    }
    if (best)
        best->setFocus(Qt::TabFocusReason);
}

bool CSelectPanelUI::focusNextPrevChild(bool next) {
    QWidget* focus = focusWidget();
    if (!focus || !isAncestorOf(focus))
        return CContainerUI::focusNextPrevChild(next);
    // Walk the window's focus chain from the focus to the first widget outside the panel.
    QWidget* w = focus;
    for (int guard = 0; guard < 100000; ++guard) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == focus)
            break;
        if (isAncestorOf(w) || w == this)
            continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && w->window() == window()) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return CContainerUI::focusNextPrevChild(next);
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
