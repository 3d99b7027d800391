#include "ui/CSimpleControls.h"

#include <QPainter>

#include "ui/UIAttributes.h"

namespace talyx {

void CRedioMacroButtonUI::PaintStatusImage(QPainter& p) {
    if (!m_normalImage.isEmpty() || !m_selectedImage.isEmpty()) {
        COptionUI::PaintStatusImage(p);
        return;
    }
    const int d = qMin(height(), Scale(14));
    const QRectF ring(Scale(2), (height() - d) / 2.0, d, d);
    p.setPen(QPen(m_selected ? QColor(0x00, 0xd1, 0xff) : QColor(0x8a, 0x93, 0xa6), Scale(2)));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ring);
    if (m_selected) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x00, 0xd1, 0xff));
        p.drawEllipse(ring.adjusted(d / 4.0, d / 4.0, -d / 4.0, -d / 4.0));
    }
    if (m_textPadding.left() == 0)
        m_textPadding.setLeft(d + 8);
}

void CAudioRecordUI::PaintStatusImage(QPainter& p) {
    COptionUI::PaintStatusImage(p);
    const int d = qMin(height(), width()) / 3;
    p.setPen(Qt::NoPen);
    p.setBrush(m_selected ? QColor(0xff, 0x3b, 0x5c) : QColor(0x8a, 0x93, 0xa6));
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

void CWndUI::Attach(QWidget* widget) {
    delete m_widget;
    m_widget = widget;
    if (widget) {
        widget->setParent(this);
        widget->show();
    }
    NeedUpdate();
}

int CWndUI::LayoutItems(const QRect& area) {
    if (m_widget)
        m_widget->setGeometry(area);
    return CContainerUI::LayoutItems(area);
}

} // namespace talyx
