#include "ui/CComboUI.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QListView>
#include <QSignalBlocker>
#include <QStandardItemModel>

#include "ui/Accessibility.h"
#include "ui/CListUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/UIAttributes.h"

namespace talyx {

CComboUI::CComboUI(QWidget* parent) : CContainerUI(parent), m_box(new QComboBox(this)) {
    m_box->setCursor(Qt::PointingHandCursor);
    m_box->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_box, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        const int old = m_lastSel;
        m_lastSel = index;
        if (index != old) {
            AccessibleValueChanged(this, GetText());
            SendNotify(notify::kItemSelect, static_cast<WPARAM>(index), old);
        }
    });
    applyStyle();
}

void CComboUI::ShowPopup() {
    if (isEnabled() && GetCount() > 0)
        m_box->showPopup();
}

void CComboUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F4 ||
        (key == Qt::Key_Down && event->modifiers() & Qt::AltModifier)) {
        ShowPopup();
        event->accept();
        return;
    }
    const int to = SteppedChoice(key, GetCurSel(), GetCount(), true, [this](int i) { return !IsItemHidden(i); });
    if (to == kNotAStepKey) {
        CContainerUI::keyPressEvent(event);
        return;
    }
    event->accept();
    if (to >= 0)
        SelectItem(to, false, true);
}

int CComboUI::GetCurSel() const {
    return m_box->currentIndex();
}

bool CComboUI::SelectItem(int index, bool, bool triggerEvent) {
    if (index < -1 || index >= GetCount())
        return false;
    const int old = m_lastSel;
    {
        const QSignalBlocker block(m_box);
        m_box->setCurrentIndex(index);
    }
    m_lastSel = index;
    if (index != old)
        AccessibleValueChanged(this, GetText());
    if (triggerEvent && index != old)
        SendNotify(notify::kItemSelect, static_cast<WPARAM>(index), old);
    return true;
}

QString CComboUI::GetText() const {
    return m_box->currentText();
}

bool CComboUI::AddAt(CControlUI* control, int index) {
    if (!CContainerUI::AddAt(control, index))
        return false;
    control->QWidget::hide();
    const QSignalBlocker block(m_box);
    const int at = GetItemIndex(control);
    m_box->insertItem(at, control->GetText(), control->GetUserData());
    m_hidden.insert(at, false);
    for (int i = at; i < m_hidden.size(); ++i)
        applyHidden(i);
    if (auto* row = qobject_cast<CListElementUI*>(control); row && row->IsSelected())
        SelectItem(GetItemIndex(control), false, false);
    return true;
}

bool CComboUI::Remove(CControlUI* control, bool doNotDestroy) {
    const int index = GetItemIndex(control);
    if (index < 0)
        return false;
    {
        const QSignalBlocker block(m_box);
        m_box->removeItem(index);
    }
    m_hidden.removeAt(index);
    for (int i = index; i < m_hidden.size(); ++i)
        applyHidden(i);
    m_lastSel = m_box->currentIndex();
    return CContainerUI::Remove(control, doNotDestroy);
}

void CComboUI::RemoveAll() {
    {
        const QSignalBlocker block(m_box);
        m_box->clear();
    }
    m_hidden.clear();
    m_lastSel = -1;
    CContainerUI::RemoveAll();
}

void CComboUI::ReloadText() {
    CContainerUI::ReloadText();
    syncTexts();
}

void CComboUI::DoInit() {
    syncTexts();
    for (int i = 0; i < GetCount(); ++i)
        if (auto* row = qobject_cast<CListElementUI*>(GetItemAt(i)); row && row->IsSelected())
            SelectItem(i, false, false);
}

void CComboUI::syncTexts() {
    for (int i = 0; i < GetCount() && i < m_box->count(); ++i) {
        m_box->setItemText(i, GetItemAt(i)->GetText());
        m_box->setItemData(i, GetItemAt(i)->GetUserData());
    }
}

CListLabelElementUI* CComboUI::AddItem(const QString& text, const QString& userData) {
    auto* row = new CListLabelElementUI;
    row->SetText(text);
    row->SetUserData(userData);
    Add(row);
    return row;
}

void CComboUI::SetItemHidden(int index, bool hidden) {
    if (index < 0 || index >= m_hidden.size() || m_hidden[index] == hidden)
        return;
    m_hidden[index] = hidden;
    applyHidden(index);
}

bool CComboUI::IsItemHidden(int index) const {
    return index >= 0 && index < m_hidden.size() && m_hidden[index];
}

void CComboUI::applyHidden(int index) {
    const bool hidden = m_hidden[index];
    if (auto* view = qobject_cast<QListView*>(m_box->view()))
        view->setRowHidden(index, hidden);
    // A disabled row is what the closed box's arrow keys and wheel step over.
    if (auto* model = qobject_cast<QStandardItemModel*>(m_box->model()))
        if (QStandardItem* item = model->item(index))
            item->setEnabled(!hidden);
}

void CComboUI::SetAttribute(const QString& name, const QString& value) {
    CContainerUI::SetAttribute(name, value);
    const QString n = name.toLower();
    if (n == QLatin1String("textcolor") || n == QLatin1String("font") || n == QLatin1String("bkcolor"))
        applyStyle();
}

int CComboUI::LayoutItems(const QRect&) {
    m_box->setGeometry(rect());
    return height();
}

void CComboUI::OnScaleChanged() {
    applyStyle();
    CContainerUI::OnScaleChanged();
}

void CComboUI::applyStyle() {
    const QColor text = ToQColor(CurrentTextColor());
    const QColor bk = m_bkColor ? ToQColor(m_bkColor) : QColor(0x1d, 0x21, 0x2b);
    const QColor border = m_borderColor ? ToQColor(m_borderColor) : QColor(0x3a, 0x3f, 0x4b);
    m_box->setStyleSheet(
        QStringLiteral("QComboBox{background:%1;color:%2;border:1px solid %3;border-radius:%4px;padding:0 %5px;}"
                       "QComboBox::drop-down{border:none;width:%6px;}"
                       "QComboBox QAbstractItemView{background:#1b1f28;color:%2;border:1px solid %3;"
                       "selection-background-color:#00a8d8;outline:none;}")
            .arg(bk.name(QColor::HexArgb), text.name(QColor::HexArgb), border.name(QColor::HexArgb))
            .arg(Scale(qMax(2, m_borderRound)))
            .arg(Scale(8))
            .arg(Scale(18)));
    m_box->setFont(TextFont());
}

} // namespace talyx
