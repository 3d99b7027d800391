#include "ui/CButtonUI.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/UIAttributes.h"

namespace talyx {

CButtonUI::CButtonUI(QWidget* parent) : CLabelUI(parent) {
    m_textAlign = Qt::AlignCenter;
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

bool CButtonUI::Activate() {
    if (!isEnabled())
        return false;
    SendNotify(notify::kClick);
    return true;
}

void CButtonUI::SetNormalImage(const QString& image) {
    m_normalImage = image;
    update();
}

void CButtonUI::SetHotImage(const QString& image) {
    m_hotImage = image;
    update();
}

void CButtonUI::SetPushedImage(const QString& image) {
    m_pushedImage = image;
    update();
}

void CButtonUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("normalimage"))
        SetNormalImage(value);
    else if (n == QLatin1String("hotimage"))
        SetHotImage(value);
    else if (n == QLatin1String("pushedimage"))
        SetPushedImage(value);
    else if (n == QLatin1String("disabledimage"))
        m_disabledImage = value;
    else if (n == QLatin1String("hottextcolor"))
        m_hotTextColor = ParseColor(value);
    else if (n == QLatin1String("pushedtextcolor"))
        m_pushedTextColor = ParseColor(value);
    else if (n == QLatin1String("pushedbkcolor"))
        m_pushedBkColor = ParseColor(value);
    else
        CLabelUI::SetAttribute(name, value);
}

void CButtonUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        m_pushed = true;
        update();
    }
    event->accept();
}

void CButtonUI::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPushed = m_pushed;
    m_pushed = false;
    update();
    event->accept();
    if (wasPushed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Activate();
}

void CButtonUI::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && !event->isAutoRepeat() &&
        event->modifiers() == Qt::NoModifier) {
        Activate();
        event->accept();
        return;
    }
    CLabelUI::keyPressEvent(event);
}

void CButtonUI::PaintBkColor(QPainter& p) {
    if (m_pushed && m_pushedBkColor) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), Scale(m_borderRound), Scale(m_borderRound));
        p.fillPath(path, ToQColor(m_pushedBkColor));
        return;
    }
    CLabelUI::PaintBkColor(p);
}

void CButtonUI::PaintStatusImage(QPainter& p) {
    QString image = m_normalImage;
    if (!isEnabled() && !m_disabledImage.isEmpty())
        image = m_disabledImage;
    else if (m_pushed && !m_pushedImage.isEmpty())
        image = m_pushedImage;
    else if (m_hot && !m_hotImage.isEmpty())
        image = m_hotImage;
    DrawImage(p, image);
    CLabelUI::PaintStatusImage(p);
}

uint32_t CButtonUI::CurrentTextColorForState() const {
    if (isEnabled()) {
        if (m_pushed && m_pushedTextColor)
            return m_pushedTextColor;
        if (m_hot && m_hotTextColor)
            return m_hotTextColor;
    }
    return CurrentTextColor();
}

void CButtonUI::PaintText(QPainter& p) {
    if (m_text.isEmpty() || !m_showText)
        return;
    p.setFont(TextFont());
    p.setPen(ToQColor(CurrentTextColorForState()));
    const QRect r = TextRect();
    p.drawText(r, m_textAlign | (m_wordBreak ? Qt::TextWordWrap : Qt::TextSingleLine), FittedText(p, r));
}

} // namespace talyx
