#pragma once

#include "ui/CContainerUI.h"

namespace talyx {

class CListUI;

// One row of a list or combo. A click selects it in its list and raises "itemclick"
// (sender: the row); a double click raises "itemactivate".
class CListElementUI : public CHorizontalLayoutUI {
    Q_OBJECT
public:
    explicit CListElementUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ListElementUI"); }
    bool IsSelected() const { return m_selected; }
    void SetSelectedState(bool selected);
    CListUI* GetOwnerList() const;
    int GetIndex() const;
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    bool CachesBackground() const override { return false; }
    // A selected row paints its selection even when it has no colour or text of its own.
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void PaintBkColor(QPainter& p) override;

    bool m_selected = false;
    uint32_t m_selectedBkColor = 0xFF2A3140;
};

// A row that shows its text.
class CListLabelElementUI : public CListElementUI {
    Q_OBJECT
public:
    explicit CListLabelElementUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ListLabelElementUI"); }
};

// A row that holds other controls.
class CListContainerElementUI : public CListElementUI {
    Q_OBJECT
public:
    using CListElementUI::CListElementUI;
    QString GetClass() const override { return QStringLiteral("ListContainerElementUI"); }
};

// A scrolling list of rows with one selected row. Selecting raises "itemselect"
// (sender: the list, wParam the new index, lParam the old one).
class CListUI : public CVerticalLayoutUI {
    Q_OBJECT
public:
    explicit CListUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ListUI"); }
    int GetCurSel() const { return m_curSel; }
    bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true);
    bool Remove(CControlUI* control, bool doNotDestroy = false) override;
    void RemoveAll() override;
    void SetAttribute(const QString& name, const QString& value) override;
    uint32_t ItemSelectedBkColor() const { return m_itemSelectedBkColor; }

protected:
    // Up and Down (Home, End) choose the next shown row as a click would; Enter
    // activates the chosen row as a double click would.
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_curSel = -1;
    uint32_t m_itemSelectedBkColor = 0;
};

} // namespace talyx
