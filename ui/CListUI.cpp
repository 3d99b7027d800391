#include "ui/CListUI.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>

#include "ui/UIAttributes.h"

namespace talyx {

CListElementUI::CListElementUI(QWidget* parent) : CHorizontalLayoutUI(parent) {}

CListUI* CListElementUI::GetOwnerList() const {
    return qobject_cast<CListUI*>(GetParentControl());
}

int CListElementUI::GetIndex() const {
    CListUI* list = GetOwnerList();
    return list ? list->GetItemIndex(const_cast<CListElementUI*>(this)) : -1;
}

void CListElementUI::SetSelectedState(bool selected) {
    // A list selects by walking its rows: only a row whose state changes repaints.
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void CListElementUI::SetAttribute(const QString& name, const QString& value) {
    if (name.compare(QLatin1String("selectedbkcolor"), Qt::CaseInsensitive) == 0)
        m_selectedBkColor = ParseColor(value);
    else if (name.compare(QLatin1String("selected"), Qt::CaseInsensitive) == 0)
        m_selected = ParseBool(value);
    else
        CHorizontalLayoutUI::SetAttribute(name, value);
}

void CListElementUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    if (CListUI* list = GetOwnerList())
        list->SelectItem(GetIndex(), true);
    SendNotify(notify::kItemClick);
}

void CListElementUI::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled())
        SendNotify(notify::kItemActivate);
}

void CListElementUI::paintEvent(QPaintEvent* event) {
    if (m_selected)
        CControlUI::paintEvent(event);
    else
        CHorizontalLayoutUI::paintEvent(event);
}

void CListElementUI::PaintBkColor(QPainter& p) {
    if (m_selected) {
        uint32_t color = m_selectedBkColor;
        if (CListUI* list = GetOwnerList(); list && list->ItemSelectedBkColor())
            color = list->ItemSelectedBkColor();
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), Scale(m_borderRound), Scale(m_borderRound));
        p.fillPath(path, ToQColor(color));
        return;
    }
    CHorizontalLayoutUI::PaintBkColor(p);
}

CListLabelElementUI::CListLabelElementUI(QWidget* parent) : CListElementUI(parent) {
    m_textPadding = QMargins(10, 0, 6, 0);
    m_hotBkColor = 0xFF232833;
    setCursor(Qt::PointingHandCursor);
}

CListUI::CListUI(QWidget* parent) : CVerticalLayoutUI(parent) {
    EnableScrollBar(true);
    setFocusPolicy(Qt::StrongFocus);
}

void CListUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    auto* current = qobject_cast<CListElementUI*>(GetItemAt(m_curSel));
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current) {
        current->SendNotify(notify::kItemActivate);
        event->accept();
        return;
    }
    const int to = SteppedChoice(key, m_curSel, GetCount(), false, [this](int i) {
        auto* row = qobject_cast<CListElementUI*>(GetItemAt(i));
        return row && !row->isHidden() && row->isEnabled();
    });
    if (to == kNotAStepKey) {
        CVerticalLayoutUI::keyPressEvent(event);
        return;
    }
    event->accept();
    if (to < 0)
        return;
    auto* row = qobject_cast<CListElementUI*>(GetItemAt(to));
    SelectItem(to, true, true);
    if (m_scroll)
        m_scroll->ensureWidgetVisible(row, 0, 0);
    row->SendNotify(notify::kItemClick);
}

bool CListUI::SelectItem(int index, bool, bool triggerEvent) {
    if (index < -1 || index >= GetCount())
        return false;
    const int old = m_curSel;
    if (index == old)
        return true;
    m_curSel = index;
    for (int i = 0; i < GetCount(); ++i)
        if (auto* row = qobject_cast<CListElementUI*>(GetItemAt(i)))
            row->SetSelectedState(i == index);
    if (triggerEvent)
        SendNotify(notify::kItemSelect, static_cast<WPARAM>(index), old);
    return true;
}

bool CListUI::Remove(CControlUI* control, bool doNotDestroy) {
    const int index = GetItemIndex(control);
    if (!CVerticalLayoutUI::Remove(control, doNotDestroy))
        return false;
    if (index == m_curSel)
        m_curSel = -1;
    else if (index < m_curSel)
        --m_curSel;
    return true;
}

void CListUI::RemoveAll() {
    m_curSel = -1;
    CVerticalLayoutUI::RemoveAll();
}

void CListUI::SetAttribute(const QString& name, const QString& value) {
    if (name.compare(QLatin1String("itemselectedbkcolor"), Qt::CaseInsensitive) == 0)
        m_itemSelectedBkColor = ParseColor(value);
    else
        CVerticalLayoutUI::SetAttribute(name, value);
}

} // namespace talyx
