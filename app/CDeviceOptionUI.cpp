#include "app/CDeviceOptionUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/CDevicePageUI.h"
#include "ui/Accessibility.h"
#include "ui/UIAttributes.h"

namespace talyx {

CDeviceOptionUI::CDeviceOptionUI(QWidget* parent) : CHorizontalLayoutUI(parent) {
    setCursor(Qt::PointingHandCursor);
}

void CDeviceOptionUI::Selected(bool selected, bool triggerEvent) {
    if (selected)
        if (auto* list = qobject_cast<CContainerUI*>(GetParentControl()))
            for (int i = 0; i < list->GetCount(); ++i)
                if (auto* other = qobject_cast<CDeviceOptionUI*>(list->GetItemAt(i)); other && other != this)
                    other->Selected(false, triggerEvent);
    const bool changed = m_selected != selected;
    m_selected = selected;
    update();
    if (changed)
        AccessibleCheckedChanged(this);
    if (changed && triggerEvent)
        SendNotify(notify::kSelectChanged, selected ? 1 : 0);
}

void CDeviceOptionUI::SetTabs(int deviceTab, int powerTab) {
    m_deviceTab = deviceTab;
    m_powerTab = powerTab;
}

void CDeviceOptionUI::OnTimer(int id) {
    if (m_page)
        m_page->OnSelectorTimer(id);
    else
        CHorizontalLayoutUI::OnTimer(id);
}

void CDeviceOptionUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("selectedbkcolor"))
        m_selectedBkColor = ParseColor(value);
    else if (n == QLatin1String("selectedbordercolor"))
        m_selectedBorderColor = ParseColor(value);
    else if (n == QLatin1String("selected"))
        m_selected = ParseBool(value);
    else if (n == QLatin1String("selectedimage"))
        m_selectedImage = value;
    else if (n == QLatin1String("hottextcolor"))
        m_hotTextColor = ParseColor(value);
    else if (n == QLatin1String("selectedtextcolor"))
        m_selectedTextColor = ParseColor(value);
    else
        CHorizontalLayoutUI::SetAttribute(name, value);
}

void CDeviceOptionUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    SendNotify(notify::kClick);
    Selected(true);
}

void CDeviceOptionUI::PaintBkColor(QPainter& p) {
    if (m_selected && m_selectedBkColor) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), Scale(m_borderRound), Scale(m_borderRound));
        p.fillPath(path, ToQColor(m_selectedBkColor));
        return;
    }
    CHorizontalLayoutUI::PaintBkColor(p);
}

void CDeviceOptionUI::PaintBorder(QPainter& p) {
    if (!m_selected || !m_selectedBorderColor) {
        CHorizontalLayoutUI::PaintBorder(p);
        return;
    }
    const int w = qMax(1, Scale(qMax(1, m_borderSize)));
    p.setPen(QPen(ToQColor(m_selectedBorderColor), w));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0), Scale(m_borderRound),
                      Scale(m_borderRound));
}

} // namespace talyx

namespace talyx {

void CDeviceOptionUI::PaintStatusImage(QPainter& p) {
    CHorizontalLayoutUI::PaintStatusImage(p);
    if (m_selected)
        DrawImage(p, m_selectedImage);
}

void CDeviceOptionUI::PaintText(QPainter& p) {
    if (m_text.isEmpty())
        return;
    uint32_t color = CurrentTextColor();
    if (m_selected && m_selectedTextColor)
        color = m_selectedTextColor;
    else if (m_hot && m_hotTextColor)
        color = m_hotTextColor;
    p.setFont(TextFont());
    p.setPen(ToQColor(color));
    const QRect r = TextRect();
    p.drawText(r, m_textAlign | Qt::TextSingleLine, p.fontMetrics().elidedText(m_text, Qt::ElideRight, r.width()));
}

} // namespace talyx
