#include "ui/CControlUI.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

#include "platform/Debug.h"
#include "ui/Accessibility.h"
#include "ui/CContainerUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "ui/UIAttributes.h"

namespace talyx {

CControlUI::CControlUI(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_Hover, false);
}

CControlUI::~CControlUI() {
    if (m_manager)
        m_manager->KillTimers(this);
}

void CControlUI::SetText(const QString& text) {
    if (m_text == text)
        return;
    m_text = text;
    update();
    AccessibleNameChanged(this);
}

void CControlUI::SetTextId(const QString& key) {
    m_textId = key;
    if (!key.isEmpty())
        SetText(CResourceManager::GetInstance().GetText(key, GetClass()));
}

void CControlUI::SetToolTipId(const QString& key) {
    m_toolTipId = key;
    if (!key.isEmpty())
        setToolTip(CResourceManager::GetInstance().GetText(key, GetClass()));
}

void CControlUI::ReloadText() {
    if (!m_textId.isEmpty())
        SetText(CResourceManager::GetInstance().GetText(m_textId, GetClass()));
    if (!m_toolTipId.isEmpty())
        setToolTip(CResourceManager::GetInstance().GetText(m_toolTipId, GetClass()));
}

void CControlUI::SetAccessibleRole(const QString& role) {
    m_accessibleRole = role;
    if ((role == QLatin1String("tab") || role == QLatin1String("button")) && focusPolicy() == Qt::NoFocus)
        setFocusPolicy(Qt::StrongFocus);
}

void CControlUI::PressByUser() {
    if (!isEnabled())
        return;
    const QPointF at = QRectF(rect()).center();
    const QPointF global = mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &release);
}

void CControlUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((m_accessibleRole == QLatin1String("tab") || m_accessibleRole == QLatin1String("button")) &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && !event->isAutoRepeat()) {
        PressByUser();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CControlUI::SetVisible(bool visible) {
    if (m_visible == visible && isVisibleTo(parentWidget()) == visible)
        return;
    m_visible = visible;
    QWidget::setVisible(visible);
    NeedParentUpdate();
}

void CControlUI::SetEnabled(bool enabled) {
    QWidget::setEnabled(enabled);
    update();
}

void CControlUI::SetBkColor(uint32_t argb) {
    m_bkColor = argb;
    update();
}

void CControlUI::SetBkColor2(uint32_t argb) {
    m_bkColor2 = argb;
    update();
}

void CControlUI::SetBkImage(const QString& image) {
    m_bkImageText = image;
    update();
}

void CControlUI::SetForeImage(const QString& image) {
    m_foreImageText = image;
    update();
}

void CControlUI::SetBorderColor(uint32_t argb) {
    m_borderColor = argb;
    update();
}

void CControlUI::SetBorderSize(int size) {
    m_borderSize = size;
    update();
}

void CControlUI::SetBorderRound(int radius) {
    m_borderRound = radius;
    update();
}

void CControlUI::SetTextColor(uint32_t argb) {
    m_textColor = argb;
    update();
}

void CControlUI::SetDisabledTextColor(uint32_t argb) {
    m_disabledTextColor = argb;
    update();
}

void CControlUI::SetFont(int id) {
    m_font = id;
    update();
}

void CControlUI::SetTextPadding(const QMargins& m) {
    m_textPadding = m;
    update();
}

void CControlUI::SetTextAlign(int flags) {
    m_textAlign = flags;
    update();
}

void CControlUI::SetFixedWidth(int width) {
    m_fixedWidth = qMax(0, width);
    NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int height) {
    m_fixedHeight = qMax(0, height);
    NeedParentUpdate();
}

void CControlUI::SetPadding(const QMargins& padding) {
    m_padding = padding;
    NeedParentUpdate();
}

void CControlUI::SetFloat(bool f) {
    m_float = f;
    NeedParentUpdate();
}

void CControlUI::SetFloatPos(const QRect& pos) {
    m_floatPos = pos;
    m_float = true;
    NeedParentUpdate();
}

void CControlUI::SetManager(CPaintManagerUI* manager) {
    m_manager = manager;
    for (QObject* child : children()) {
        if (auto* c = qobject_cast<CControlUI*>(child))
            c->SetManager(manager);
        else if (auto* w = qobject_cast<QWidget*>(child)) {
            // Scroll areas keep their controls one level further down.
            for (auto* inner : w->findChildren<CControlUI*>(QString(), Qt::FindDirectChildrenOnly))
                inner->SetManager(manager);
        }
    }
}

CControlUI* CControlUI::GetParentControl() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* c = qobject_cast<CControlUI*>(w))
            return c;
    }
    return nullptr;
}

void CControlUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("name"))
        SetName(value);
    else if (n == QLatin1String("role"))
        SetAccessibleRole(value);
    else if (n == QLatin1String("nameid"))
        SetNameId(value);
    else if (n == QLatin1String("text"))
        SetText(value);
    else if (n == QLatin1String("textid"))
        SetTextId(value);
    else if (n == QLatin1String("tooltip"))
        setToolTip(value);
    else if (n == QLatin1String("tooltipid"))
        SetToolTipId(value);
    else if (n == QLatin1String("visible"))
        SetVisible(ParseBool(value));
    else if (n == QLatin1String("enabled"))
        SetEnabled(ParseBool(value));
    else if (n == QLatin1String("width"))
        SetFixedWidth(value.toInt());
    else if (n == QLatin1String("height"))
        SetFixedHeight(value.toInt());
    else if (n == QLatin1String("minwidth"))
        m_minWidth = value.toInt();
    else if (n == QLatin1String("minheight"))
        m_minHeight = value.toInt();
    else if (n == QLatin1String("padding"))
        SetPadding(ParseMargins(value));
    else if (n == QLatin1String("float"))
        SetFloat(ParseBool(value));
    else if (n == QLatin1String("pos")) {
        m_floatPos = ParseRect(value);
        NeedParentUpdate();
    } else if (n == QLatin1String("bkcolor"))
        SetBkColor(ParseColor(value));
    else if (n == QLatin1String("bkcolor2"))
        SetBkColor2(ParseColor(value));
    else if (n == QLatin1String("hotbkcolor"))
        m_hotBkColor = ParseColor(value);
    else if (n == QLatin1String("bkimage"))
        SetBkImage(value);
    else if (n == QLatin1String("foreimage"))
        SetForeImage(value);
    else if (n == QLatin1String("bordercolor"))
        SetBorderColor(ParseColor(value));
    else if (n == QLatin1String("hotbordercolor"))
        m_hotBorderColor = ParseColor(value);
    else if (n == QLatin1String("bordersize"))
        SetBorderSize(value.toInt());
    else if (n == QLatin1String("borderround"))
        SetBorderRound(value.section(',', 0, 0).toInt());
    else if (n == QLatin1String("textcolor"))
        SetTextColor(ParseColor(value));
    else if (n == QLatin1String("disabledtextcolor"))
        SetDisabledTextColor(ParseColor(value));
    else if (n == QLatin1String("font"))
        SetFont(value.toInt());
    else if (n == QLatin1String("textpadding"))
        SetTextPadding(ParseMargins(value));
    else if (n == QLatin1String("wordbreak") || n == QLatin1String("multiline"))
        SetWordBreak(ParseBool(value));
    else if (n == QLatin1String("align")) {
        int h = Qt::AlignLeft;
        if (value.contains(QLatin1String("center")))
            h = Qt::AlignHCenter;
        else if (value.contains(QLatin1String("right")))
            h = Qt::AlignRight;
        m_textAlign = (m_textAlign & Qt::AlignVertical_Mask) | h;
        update();
    } else if (n == QLatin1String("valign")) {
        int v = Qt::AlignVCenter;
        if (value.contains(QLatin1String("top")))
            v = Qt::AlignTop;
        else if (value.contains(QLatin1String("bottom")))
            v = Qt::AlignBottom;
        m_textAlign = (m_textAlign & Qt::AlignHorizontal_Mask) | v;
        update();
    } else if (n == QLatin1String("userdata"))
        SetUserData(value);
    else if (n == QLatin1String("showtext"))
        m_showText = ParseBool(value);
    else if (n == QLatin1String("notifyhover"))
        m_notifyHover = ParseBool(value);
    else if (n == QLatin1String("cursor") && value == QLatin1String("hand"))
        setCursor(Qt::PointingHandCursor);
}

void CControlUI::ApplyAttributeList(const QString& list) {
    static const QRegularExpression kPair(QStringLiteral("([\\w]+)\\s*=\\s*\"([^\"]*)\""));
    auto it = kPair.globalMatch(list);
    while (it.hasNext()) {
        const auto m = it.next();
        SetAttribute(m.captured(1), m.captured(2));
    }
}

CControlUI* CControlUI::FindSubControl(const QString& name) const {
    if (name.isEmpty())
        return nullptr;
    return findChild<CControlUI*>(name);
}

void CControlUI::OnTimer(int id) {
    SendNotify(notify::kTimer, static_cast<WPARAM>(id));
}

QSize CControlUI::EstimateSize(const QSize&) const {
    return QSize(m_fixedWidth > 0 ? Scale(m_fixedWidth) : 0, m_fixedHeight > 0 ? Scale(m_fixedHeight) : 0);
}

void CControlUI::SendNotify(const QString& type, WPARAM wParam, LPARAM lParam, bool async) {
    if (m_manager)
        m_manager->SendNotify(this, type, wParam, lParam, async);
}

int CControlUI::Scale(int logical) const {
    return m_manager ? m_manager->Scale(logical) : logical;
}

double CControlUI::ScaleFactor() const {
    return m_manager ? m_manager->ScaleFactor() : 1.0;
}

void CControlUI::NeedParentUpdate() {
    if (auto* parent = GetParentControl())
        if (auto* container = qobject_cast<CContainerUI*>(parent))
            container->NeedUpdate();
}

void CControlUI::OnScaleChanged() {
    update();
}

void CControlUI::enterEvent(QEnterEvent* event) {
    m_hot = true;
    if (m_hotBkColor || m_hotBorderColor)
        update();
    if (m_notifyHover)
        SendNotify(notify::kMouseEnter);
    QWidget::enterEvent(event);
}

void CControlUI::leaveEvent(QEvent* event) {
    m_hot = false;
    if (m_hotBkColor || m_hotBorderColor)
        update();
    if (m_notifyHover)
        SendNotify(notify::kMouseLeave);
    QWidget::leaveEvent(event);
}

void CControlUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    PaintBkColor(p);
    PaintBkImage(p);
    PaintStatusImage(p);
    PaintText(p);
    PaintBorder(p);
}

void CControlUI::PaintBkColor(QPainter& p) {
    uint32_t color = m_hot && m_hotBkColor && isEnabled() ? m_hotBkColor : m_bkColor;
    if (!color)
        return;
    QBrush brush(ToQColor(color));
    if (m_bkColor2 && !(m_hot && m_hotBkColor)) {
        QLinearGradient g(0, 0, 0, height());
        g.setColorAt(0, ToQColor(m_bkColor));
        g.setColorAt(1, ToQColor(m_bkColor2));
        brush = QBrush(g);
    }
    if (m_borderRound > 0) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), Scale(m_borderRound), Scale(m_borderRound));
        p.fillPath(path, brush);
    } else {
        p.fillRect(rect(), brush);
    }
}

void CControlUI::PaintBkImage(QPainter& p) {
    DrawImage(p, m_bkImageText);
}

void CControlUI::PaintStatusImage(QPainter& p) {
    DrawImage(p, m_foreImageText);
}

void CControlUI::PaintText(QPainter& p) {
    if (m_text.isEmpty() || !m_showText)
        return;
    p.setFont(TextFont());
    p.setPen(ToQColor(CurrentTextColor()));
    int flags = m_textAlign;
    flags |= m_wordBreak ? Qt::TextWordWrap : Qt::TextSingleLine;
    const QRect r = TextRect();
    p.drawText(r, flags, FittedText(p, r));
}

QString CControlUI::FittedText(const QPainter& p, const QRect& r) {
    const QFontMetrics fm = p.fontMetrics();
    const QString shown = m_wordBreak ? m_text : fm.elidedText(m_text, Qt::ElideRight, r.width());
    const bool clipped = m_wordBreak ? fm.boundingRect(r, Qt::TextWordWrap | m_textAlign, m_text).height() > r.height()
                                     : shown != m_text;
    if (clipped && m_clippedReported != m_text && r.width() > 0 && r.height() > 0) {
        m_clippedReported = m_text;
        DebugOutput("text clipped: " + GetName().toStdString() + " \"" + m_text.toStdString() + "\"");
    }
    return shown;
}

void CControlUI::PaintBorder(QPainter& p) {
    const uint32_t color = m_hot && m_hotBorderColor && isEnabled() ? m_hotBorderColor : m_borderColor;
    if (!color || m_borderSize <= 0)
        return;
    const int w = Scale(m_borderSize);
    QPen pen(ToQColor(color), w);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF r = QRectF(rect()).adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0);
    if (m_borderRound > 0)
        p.drawRoundedRect(r, Scale(m_borderRound), Scale(m_borderRound));
    else
        p.drawRect(r);
}

QRect CControlUI::TextRect() const {
    return rect().adjusted(Scale(m_textPadding.left()), Scale(m_textPadding.top()), -Scale(m_textPadding.right()),
                           -Scale(m_textPadding.bottom()));
}

QFont CControlUI::TextFont() const {
    return m_manager ? m_manager->GetFont(m_font) : font();
}

uint32_t CControlUI::CurrentTextColor() const {
    if (!isEnabled() && m_disabledTextColor)
        return m_disabledTextColor;
    if (m_textColor)
        return m_textColor;
    return m_manager ? m_manager->GetDefaultTextColor() : 0xFFFFFFFFu;
}

void CControlUI::DrawImage(QPainter& p, const QString& imageText, const QRect& rect) {
    if (imageText.isEmpty())
        return;
    DrawSkinImage(p, SkinImage::parse(imageText), rect.isNull() ? this->rect() : rect, ScaleFactor());
}

} // namespace talyx
