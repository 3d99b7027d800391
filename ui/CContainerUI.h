#pragma once

#include <QList>
#include <QPixmap>
#include <functional>

#include "ui/CControlUI.h"

class QScrollArea;

namespace talyx {

// Where an arrow, Home or End key moves the choice of a list of `count` items from
// `current`, skipping the items `usable` refuses: the index, -1 when none lies that way,
// or kNotAStepKey when `key` moves nothing. `sideways` lets Left and Right step too.
inline constexpr int kNotAStepKey = -2;
int SteppedChoice(int key, int current, int count, bool sideways, const std::function<bool(int)>& usable);

// A control holding other controls. The plain container gives each child its whole
// client area (less the inset and the child's padding) or the child's fixed size;
// floating children sit at their "pos". With "vscrollbar" the children live in a
// vertically scrolling area.
class CContainerUI : public CControlUI {
    Q_OBJECT
public:
    explicit CContainerUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ContainerUI"); }

    virtual bool Add(CControlUI* control);
    virtual bool AddAt(CControlUI* control, int index);
    // Removes and deletes the child (or only detaches it with doNotDestroy).
    virtual bool Remove(CControlUI* control, bool doNotDestroy = false);
    virtual void RemoveAll();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    CControlUI* GetItemAt(int index) const;
    int GetItemIndex(CControlUI* control) const;

    void SetInset(const QMargins& inset);
    QMargins GetInset() const { return m_inset; }
    void SetChildPadding(int padding);
    int GetChildPadding() const { return m_childPadding; }
    void EnableScrollBar(bool vertical);
    // Whether the children live in a scrolling area (not directly in this widget).
    bool IsScrolling() const { return m_scroll != nullptr; }

    void SetAttribute(const QString& name, const QString& value) override;
    void SetManager(CPaintManagerUI* manager) override;
    void ReloadText() override;
    void OnScaleChanged() override;

    // Lays the children out again (after a size, visibility or child change).
    void NeedUpdate();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Paints the background from a bitmap kept until the control's size, state or look
    // changes: a container is repainted behind every child that changes (a key light,
    // 25 times a second), and redrawing its rounded shapes each time is most of the cost.
    void paintEvent(QPaintEvent* event) override;
    // Containers whose background depends on more than their attributes (a selected row)
    // draw it afresh every time.
    virtual bool CachesBackground() const { return true; }
    // Places the children inside `area` of the widget that holds them; returns the
    // extent the children need along the scrolling direction.
    virtual int LayoutItems(const QRect& area);
    // The children stacked top to bottom (vertical) or left to right; returns the extent
    // along the vertical.
    int LayoutLine(const QRect& area, bool vertical);
    void PlaceFloat(CControlUI* item);
    QWidget* Host() const;
    QList<CControlUI*> VisibleFlowItems() const;

    QList<CControlUI*> m_items;
    QMargins m_inset;
    int m_childPadding = 0;
    int m_childAlign = 0; // 0 left/top, 1 centre, 2 right/bottom
    QScrollArea* m_scroll = nullptr;
    QWidget* m_content = nullptr;
    bool m_inLayout = false;
    QPixmap m_background;
    QString m_backgroundKey;
};

// Children stacked top to bottom; fixed heights first, the rest share what is left.
class CVerticalLayoutUI : public CContainerUI {
    Q_OBJECT
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("VerticalLayoutUI"); }

protected:
    int LayoutItems(const QRect& area) override;
};

// Children side by side; fixed widths first, the rest share what is left.
class CHorizontalLayoutUI : public CContainerUI {
    Q_OBJECT
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("HorizontalLayoutUI"); }

protected:
    int LayoutItems(const QRect& area) override;
};

// Shows one child at a time.
class CTabLayoutUI : public CContainerUI {
    Q_OBJECT
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("TabLayoutUI"); }
    bool SelectItem(int index);
    bool SelectItem(CControlUI* control);
    int GetCurSel() const { return m_curSel; }
    bool Add(CControlUI* control) override;
    bool AddAt(CControlUI* control, int index) override;
    void SetAttribute(const QString& name, const QString& value) override;

private:
    int m_curSel = 0;
};

// Children in rows of "columns" cells of "itemsize".
class CTileLayoutUI : public CContainerUI {
    Q_OBJECT
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("TileLayoutUI"); }
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    int LayoutItems(const QRect& area) override;

private:
    int m_columns = 1;
    QSize m_itemSize;
};

} // namespace talyx
