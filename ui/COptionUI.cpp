#include "ui/COptionUI.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/Accessibility.h"
#include "ui/CPaintManagerUI.h"
#include "ui/UIAttributes.h"

namespace talyx {

COptionUI::COptionUI(QWidget* parent) : CButtonUI(parent) {}

COptionUI::~COptionUI() {
    if (m_manager && !m_group.isEmpty())
        m_manager->RemoveOptionGroup(m_group, this);
}

void COptionUI::SetGroup(const QString& group) {
    if (m_manager && !m_group.isEmpty())
        m_manager->RemoveOptionGroup(m_group, this);
    m_group = group;
    if (m_manager && !m_group.isEmpty())
        m_manager->AddOptionGroup(m_group, this);
}

void COptionUI::SetManager(CPaintManagerUI* manager) {
    if (m_manager && m_manager != manager && !m_group.isEmpty())
        m_manager->RemoveOptionGroup(m_group, this);
    CButtonUI::SetManager(manager);
    if (m_manager && !m_group.isEmpty())
        m_manager->AddOptionGroup(m_group, this);
    if (m_selected)
        Selected(true, false);
}

void COptionUI::Selected(bool selected, bool triggerEvent) {
    const bool changed = m_selected != selected;
    m_selected = selected;
    if (selected && m_manager && !m_group.isEmpty()) {
        for (COptionUI* other : m_manager->GetOptionGroup(m_group))
            if (other != this && other->IsSelected())
                other->Selected(false, triggerEvent);
    }
    update();
    if (changed)
        AccessibleCheckedChanged(this);
    if (changed && triggerEvent)
        SendNotify(notify::kSelectChanged, selected ? 1 : 0);
}

bool COptionUI::Activate() {
    if (!CButtonUI::Activate())
        return false;
    if (!m_group.isEmpty())
        Selected(true);
    else
        Selected(!m_selected);
    return true;
}

void COptionUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool forward = key == Qt::Key_Right || key == Qt::Key_Down;
    const bool back = key == Qt::Key_Left || key == Qt::Key_Up;
    if ((!forward && !back) || m_group.isEmpty() || !m_manager) {
        CButtonUI::keyPressEvent(event);
        return;
    }
    event->accept();
    QList<COptionUI*> group;
    for (COptionUI* o : m_manager->GetOptionGroup(m_group))
        if (o == this || (o->isVisible() && o->isEnabled()))
            group.append(o);
    const qsizetype at = group.indexOf(this);
    if (at < 0 || group.size() < 2)
        return;
    COptionUI* next = group[(at + (forward ? 1 : group.size() - 1)) % group.size()];
    next->setFocus(Qt::TabFocusReason);
    next->Activate();
}

void COptionUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("group"))
        SetGroup(value);
    else if (n == QLatin1String("selected"))
        Selected(ParseBool(value), false);
    else if (n == QLatin1String("selectedimage"))
        m_selectedImage = value;
    else if (n == QLatin1String("selectedhotimage"))
        m_selectedHotImage = value;
    else if (n == QLatin1String("selectedbkcolor"))
        m_selectedBkColor = ParseColor(value);
    else if (n == QLatin1String("selectedtextcolor"))
        m_selectedTextColor = ParseColor(value);
    else if (n == QLatin1String("selectedbordercolor"))
        m_selectedBorderColor = ParseColor(value);
    else
        CButtonUI::SetAttribute(name, value);
}

void COptionUI::PaintBkColor(QPainter& p) {
    if (m_selected && m_selectedBkColor) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), Scale(m_borderRound), Scale(m_borderRound));
        p.fillPath(path, ToQColor(m_selectedBkColor));
    } else {
        CButtonUI::PaintBkColor(p);
    }
    if (m_selected && m_selectedBorderColor) {
        const int w = qMax(1, Scale(qMax(1, m_borderSize)));
        p.setPen(QPen(ToQColor(m_selectedBorderColor), w));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0), Scale(m_borderRound),
                          Scale(m_borderRound));
    }
}

void COptionUI::PaintStatusImage(QPainter& p) {
    if (m_selected && !m_selectedImage.isEmpty()) {
        DrawImage(p, m_hot && !m_selectedHotImage.isEmpty() ? m_selectedHotImage : m_selectedImage);
        DrawImage(p, m_foreImageText);
        return;
    }
    CButtonUI::PaintStatusImage(p);
}

void COptionUI::PaintText(QPainter& p) {
    if (m_selected && m_selectedTextColor && !m_text.isEmpty() && m_showText) {
        p.setFont(TextFont());
        p.setPen(ToQColor(m_selectedTextColor));
        const QRect r = TextRect();
        p.drawText(r, m_textAlign | Qt::TextSingleLine, FittedText(p, r));
        return;
    }
    CButtonUI::PaintText(p);
}

} // namespace talyx
