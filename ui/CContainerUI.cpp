#include "ui/CContainerUI.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "ui/CPaintManagerUI.h"
#include "ui/UIAttributes.h"

namespace talyx {

CContainerUI::CContainerUI(QWidget* parent) : CControlUI(parent) {}

QWidget* CContainerUI::Host() const {
    return m_content ? m_content : const_cast<CContainerUI*>(this);
}

bool CContainerUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
    if (!control || m_items.contains(control))
        return false;
    index = qBound(0, index, GetCount());
    control->setParent(Host());
    m_items.insert(index, control);
    if (m_manager && control->GetManager() != m_manager)
        control->SetManager(m_manager);
    control->QWidget::setVisible(control->IsVisible());
    NeedUpdate();
    return true;
}

bool CContainerUI::Remove(CControlUI* control, bool doNotDestroy) {
    const int index = m_items.indexOf(control);
    if (index < 0)
        return false;
    m_items.removeAt(index);
    if (doNotDestroy) {
        control->hide();
        control->setParent(nullptr);
    } else {
        delete control;
    }
    NeedUpdate();
    return true;
}

void CContainerUI::RemoveAll() {
    const auto items = m_items;
    m_items.clear();
    qDeleteAll(items);
    NeedUpdate();
}

CControlUI* CContainerUI::GetItemAt(int index) const {
    return index >= 0 && index < m_items.size() ? m_items[index] : nullptr;
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
    return m_items.indexOf(control);
}

void CContainerUI::SetInset(const QMargins& inset) {
    m_inset = inset;
    NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding) {
    m_childPadding = padding;
    NeedUpdate();
}

void CContainerUI::EnableScrollBar(bool vertical) {
    if (!vertical || m_scroll)
        return;
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // The keyboard reaches the controls inside, not the area that scrolls them.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setWidgetResizable(false);
    // The area and what it scrolls stay clear without a style sheet: one on the area would
    // restyle every control placed in it. Only the scroll bar has one.
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical{background:transparent;width:6px;margin:0;}"
                       "QScrollBar::handle:vertical{background:#5a5f6e;border-radius:3px;min-height:24px;}"
                       "QScrollBar::add-line,QScrollBar::sub-line{height:0;}"
                       "QScrollBar::add-page,QScrollBar::sub-page{background:transparent;}"));
    m_content = new QWidget;
    m_content->setAttribute(Qt::WA_TranslucentBackground);
    for (CControlUI* item : m_items)
        item->setParent(m_content);
    m_scroll->setWidget(m_content);
    m_content->setAutoFillBackground(false); // the area turned it on
    for (CControlUI* item : m_items)
        item->QWidget::setVisible(item->IsVisible());
    NeedUpdate();
}

void CContainerUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("inset"))
        SetInset(ParseMargins(value));
    else if (n == QLatin1String("childpadding"))
        SetChildPadding(value.toInt());
    else if (n == QLatin1String("vscrollbar"))
        EnableScrollBar(ParseBool(value));
    else if (n == QLatin1String("childalign") || n == QLatin1String("childvalign")) {
        m_childAlign =
            value.contains(QLatin1String("center")) || value.contains(QLatin1String("vcenter"))
                ? 1
                : (value.contains(QLatin1String("right")) || value.contains(QLatin1String("bottom")) ? 2 : 0);
        NeedUpdate();
    } else
        CControlUI::SetAttribute(name, value);
}

void CContainerUI::SetManager(CPaintManagerUI* manager) {
    m_manager = manager;
    for (CControlUI* item : m_items)
        item->SetManager(manager);
}

void CContainerUI::ReloadText() {
    CControlUI::ReloadText();
    for (CControlUI* item : m_items)
        item->ReloadText();
}

void CContainerUI::OnScaleChanged() {
    CControlUI::OnScaleChanged();
    for (CControlUI* item : m_items)
        item->OnScaleChanged();
    NeedUpdate();
}

void CContainerUI::NeedUpdate() {
    if (m_inLayout)
        return;
    m_inLayout = true;
    QRect area;
    if (m_scroll) {
        m_scroll->setGeometry(rect());
        const int width = m_scroll->viewport()->width();
        area = QRect(0, 0, width, m_scroll->viewport()->height());
        area = area.marginsRemoved(
            QMargins(Scale(m_inset.left()), Scale(m_inset.top()), Scale(m_inset.right()), Scale(m_inset.bottom())));
        m_content->resize(width, qMax(m_scroll->viewport()->height(), 1));
        const int needed = LayoutItems(area) + Scale(m_inset.bottom());
        m_content->resize(width, qMax(needed, m_scroll->viewport()->height()));
    } else {
        area = rect().marginsRemoved(
            QMargins(Scale(m_inset.left()), Scale(m_inset.top()), Scale(m_inset.right()), Scale(m_inset.bottom())));
        LayoutItems(area);
    }
    for (CControlUI* item : m_items)
        if (item->IsFloat() && item->IsVisible())
            PlaceFloat(item);
    m_inLayout = false;
}

void CContainerUI::paintEvent(QPaintEvent* event) {
    const bool plain = !m_bkColor && !m_bkColor2 && m_bkImageText.isEmpty() && m_foreImageText.isEmpty() &&
                       (!m_borderColor || m_borderSize <= 0);
    if (plain && m_text.isEmpty())
        return;
    if (!CachesBackground()) {
        CControlUI::paintEvent(event);
        return;
    }
    const qreal dpr = devicePixelRatioF();
    const QString key = QStringLiteral("%1x%2@%3:%4:%5:%6:%7:%8:%9:%10:%11:%12")
                            .arg(width())
                            .arg(height())
                            .arg(dpr)
                            .arg(m_hot && isEnabled())
                            .arg(m_bkColor)
                            .arg(m_bkColor2)
                            .arg(m_hotBkColor)
                            .arg(m_borderColor)
                            .arg(m_borderSize)
                            .arg(m_borderRound)
                            .arg(m_bkImageText, m_foreImageText);
    if (key != m_backgroundKey) {
        m_background = QPixmap(size() * dpr);
        m_background.setDevicePixelRatio(dpr);
        m_background.fill(Qt::transparent);
        QPainter bg(&m_background);
        bg.setRenderHint(QPainter::Antialiasing);
        PaintBkColor(bg);
        PaintBkImage(bg);
        PaintStatusImage(bg);
        PaintBorder(bg);
        bg.end();
        m_backgroundKey = key;
    }
    QPainter p(this);
    p.drawPixmap(event->rect(), m_background,
                 QRectF(QPointF(event->rect().topLeft()) * dpr, QSizeF(event->rect().size()) * dpr));
    p.setRenderHint(QPainter::Antialiasing);
    PaintText(p);
}

void CContainerUI::resizeEvent(QResizeEvent* event) {
    CControlUI::resizeEvent(event);
    NeedUpdate();
}

QList<CControlUI*> CContainerUI::VisibleFlowItems() const {
    QList<CControlUI*> out;
    for (CControlUI* item : m_items)
        if (item->IsVisible() && !item->IsFloat())
            out.append(item);
    return out;
}

void CContainerUI::PlaceFloat(CControlUI* item) {
    const QRect pos = item->GetFloatPos();
    item->setGeometry(Scale(pos.left()), Scale(pos.top()), Scale(pos.width()), Scale(pos.height()));
}

int CContainerUI::LayoutItems(const QRect& area) {
    int extent = area.top();
    for (CControlUI* item : VisibleFlowItems()) {
        const QMargins pad(Scale(item->GetPadding().left()), Scale(item->GetPadding().top()),
                           Scale(item->GetPadding().right()), Scale(item->GetPadding().bottom()));
        QRect r = area.marginsRemoved(pad);
        const QSize est = item->EstimateSize(r.size());
        if (est.width() > 0) {
            const int free = r.width() - est.width();
            r.setLeft(r.left() + (m_childAlign == 1 ? free / 2 : (m_childAlign == 2 ? free : 0)));
            r.setWidth(est.width());
        }
        if (est.height() > 0)
            r.setHeight(est.height());
        item->setGeometry(r);
        extent = qMax(extent, r.bottom() + 1 + pad.bottom());
    }
    return extent;
}

int CContainerUI::LayoutLine(const QRect& area, bool vertical) {
    // One stacking algorithm for both directions: "main" runs along the stack, "cross"
    // across it. Fixed sizes are given first, the rest is shared by the stretching children.
    auto mainOf = [vertical](const QSize& s) { return vertical ? s.height() : s.width(); };
    auto crossOf = [vertical](const QSize& s) { return vertical ? s.width() : s.height(); };
    auto before = [vertical](const QMargins& m) { return vertical ? m.top() : m.left(); };
    auto after = [vertical](const QMargins& m) { return vertical ? m.bottom() : m.right(); };
    auto crossBefore = [vertical](const QMargins& m) { return vertical ? m.left() : m.top(); };
    auto crossAfter = [vertical](const QMargins& m) { return vertical ? m.right() : m.bottom(); };
    const int areaMain = mainOf(area.size());
    const int areaCross = crossOf(area.size());
    const int mainStart = vertical ? area.top() : area.left();
    const int crossStart = vertical ? area.left() : area.top();

    const QList<CControlUI*> items = VisibleFlowItems();
    const int gap = Scale(m_childPadding);
    int fixed = 0;
    int stretch = 0;
    QList<QSize> sizes;
    for (CControlUI* item : items) {
        const QMargins p = item->GetPadding();
        const int crossPad = Scale(crossBefore(p) + crossAfter(p));
        const QSize est = item->EstimateSize(vertical ? QSize(area.width() - crossPad, area.height())
                                                      : QSize(area.width(), area.height() - crossPad));
        sizes.append(est);
        fixed += Scale(before(p) + after(p));
        if (mainOf(est) > 0)
            fixed += mainOf(est);
        else
            ++stretch;
    }
    if (!items.isEmpty())
        fixed += gap * (static_cast<int>(items.size()) - 1);
    const int left = qMax(0, areaMain - fixed);
    int stretchDone = 0;
    int pos = mainStart;
    if (stretch == 0 && m_childAlign != 0)
        pos += m_childAlign == 1 ? left / 2 : left;
    int crossExtent = crossStart;
    for (int i = 0; i < items.size(); ++i) {
        CControlUI* item = items[i];
        const QMargins p = item->GetPadding();
        int length = mainOf(sizes[i]);
        if (length <= 0) {
            ++stretchDone;
            length = stretchDone == stretch ? left - (left / stretch) * (stretch - 1) : left / stretch;
        }
        pos += Scale(before(p));
        const int maxCross = areaCross - Scale(crossBefore(p) + crossAfter(p));
        const int cross = crossOf(sizes[i]) > 0 ? crossOf(sizes[i]) : maxCross;
        int crossPos = crossStart + Scale(crossBefore(p));
        // A stack of rows lines fixed-width rows up by "childalign" while some row
        // stretches; a row of columns centres fixed-height columns.
        if (crossOf(sizes[i]) > 0) {
            if (vertical && m_childAlign != 0 && stretch > 0)
                crossPos += m_childAlign == 1 ? (maxCross - cross) / 2 : maxCross - cross;
            else if (!vertical && m_childAlign == 1)
                crossPos += (maxCross - cross) / 2;
        }
        if (vertical)
            item->setGeometry(crossPos, pos, cross, qMax(0, length));
        else
            item->setGeometry(pos, crossPos, qMax(0, length), cross);
        crossExtent = qMax(crossExtent, crossPos + cross + Scale(crossAfter(p)));
        pos += length + Scale(after(p)) + gap;
    }
    // The extent along the vertical, where a container scrolls.
    return vertical ? pos - (items.isEmpty() ? 0 : gap) : crossExtent;
}

int CVerticalLayoutUI::LayoutItems(const QRect& area) {
    return LayoutLine(area, true);
}

int CHorizontalLayoutUI::LayoutItems(const QRect& area) {
    return LayoutLine(area, false);
}

bool CTabLayoutUI::Add(CControlUI* control) {
    return AddAt(control, GetCount());
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
    if (!CContainerUI::AddAt(control, index))
        return false;
    const int at = GetItemIndex(control);
    // An insertion before the shown page moves it one on; an append (as the layout builds
    // the tabs, with "selectedid" already set) does not.
    if (at < GetCount() - 1 && at <= m_curSel)
        ++m_curSel;
    control->SetVisible(at == m_curSel);
    return true;
}

bool CTabLayoutUI::SelectItem(int index) {
    if (index < 0 || index >= GetCount())
        return false;
    m_curSel = index;
    for (int i = 0; i < GetCount(); ++i)
        m_items[i]->SetVisible(i == index);
    NeedUpdate();
    return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* control) {
    return SelectItem(GetItemIndex(control));
}

void CTabLayoutUI::SetAttribute(const QString& name, const QString& value) {
    if (name.compare(QLatin1String("selectedid"), Qt::CaseInsensitive) == 0)
        m_curSel = value.toInt();
    else
        CContainerUI::SetAttribute(name, value);
}

void CTileLayoutUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("columns"))
        m_columns = qMax(1, value.toInt());
    else if (n == QLatin1String("itemsize"))
        m_itemSize = ParseSize(value);
    else
        CContainerUI::SetAttribute(name, value);
}

int CTileLayoutUI::LayoutItems(const QRect& area) {
    const QList<CControlUI*> items = VisibleFlowItems();
    const int gap = Scale(m_childPadding);
    const int cellW =
        m_itemSize.width() > 0 ? Scale(m_itemSize.width()) : (area.width() - gap * (m_columns - 1)) / m_columns;
    const int cellH = m_itemSize.height() > 0 ? Scale(m_itemSize.height()) : cellW;
    int extent = area.top();
    for (int i = 0; i < items.size(); ++i) {
        const int row = i / m_columns;
        const int col = i % m_columns;
        const QRect r(area.left() + col * (cellW + gap), area.top() + row * (cellH + gap), cellW, cellH);
        items[i]->setGeometry(r);
        extent = r.bottom() + 1;
    }
    return extent;
}

int SteppedChoice(int key, int current, int count, bool sideways, const std::function<bool(int)>& usable) {
    int step = 0;
    int from = current;
    if (key == Qt::Key_Down || (sideways && key == Qt::Key_Right))
        step = 1;
    else if (key == Qt::Key_Up || (sideways && key == Qt::Key_Left))
        step = -1;
    else if (key == Qt::Key_Home)
        step = 1, from = -1;
    else if (key == Qt::Key_End)
        step = -1, from = count;
    if (!step)
        return kNotAStepKey;
    if (from < 0 && step < 0)
        from = count;
    for (int i = from + step; i >= 0 && i < count; i += step)
        if (usable(i))
            return i;
    return -1;
}

} // namespace talyx
