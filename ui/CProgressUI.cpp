#include "ui/CProgressUI.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include "ui/Accessibility.h"
#include "ui/UIAttributes.h"

namespace talyx {

CProgressUI::CProgressUI(QWidget* parent) : CLabelUI(parent) {
    m_textAlign = Qt::AlignCenter;
}

void CProgressUI::SetMinValue(int value) {
    m_min = value;
    SetValue(m_value);
    update();
}

void CProgressUI::SetMaxValue(int value) {
    m_max = value;
    SetValue(m_value);
    update();
}

void CProgressUI::SetValue(int value) {
    const int v = m_max >= m_min ? qBound(m_min, value, m_max) : m_min;
    if (v == m_value)
        return;
    m_value = v;
    update();
    AccessibleValueChanged(this, v);
}

void CProgressUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("min"))
        SetMinValue(value.toInt());
    else if (n == QLatin1String("max"))
        SetMaxValue(value.toInt());
    else if (n == QLatin1String("value"))
        SetValue(value.toInt());
    else if (n == QLatin1String("hor"))
        m_horizontal = ParseBool(value);
    else if (n == QLatin1String("forecolor"))
        m_foreColor = ParseColor(value);
    else if (n == QLatin1String("forecolor2"))
        m_foreColor2 = ParseColor(value);
    else if (n == QLatin1String("trackcolor"))
        m_trackColor = ParseColor(value);
    else if (n == QLatin1String("trackheight"))
        m_trackHeight = value.toInt();
    else
        CLabelUI::SetAttribute(name, value);
}

QRect CProgressUI::TrackRect() const {
    if (m_trackHeight <= 0)
        return rect();
    const int h = Scale(m_trackHeight);
    if (m_horizontal)
        return QRect(0, (height() - h) / 2, width(), h);
    return QRect((width() - h) / 2, 0, h, height());
}

QRect CProgressUI::FillRect() const {
    const QRect track = TrackRect();
    const int span = m_max - m_min;
    const double f = span > 0 ? double(m_value - m_min) / span : 0.0;
    if (m_horizontal)
        return QRect(track.left(), track.top(), qRound(track.width() * f), track.height());
    const int h = qRound(track.height() * f);
    return QRect(track.left(), track.bottom() - h + 1, track.width(), h);
}

void CProgressUI::PaintStatusImage(QPainter& p) {
    const QRect track = TrackRect();
    const qreal radius = m_trackHeight > 0 ? track.height() / 2.0 : Scale(m_borderRound);
    if (m_trackColor) {
        QPainterPath path;
        path.addRoundedRect(QRectF(track), radius, radius);
        p.fillPath(path, ToQColor(m_trackColor));
    }
    const QRect fill = FillRect();
    if (!fill.isEmpty()) {
        QBrush brush(ToQColor(m_foreColor));
        if (m_foreColor2) {
            QLinearGradient g(track.topLeft(), m_horizontal ? track.topRight() : track.bottomLeft());
            g.setColorAt(0, ToQColor(m_foreColor));
            g.setColorAt(1, ToQColor(m_foreColor2));
            brush = QBrush(g);
        }
        QPainterPath path;
        path.addRoundedRect(QRectF(fill), radius, radius);
        if (m_foreImageText.isEmpty())
            p.fillPath(path, brush);
        else
            DrawImage(p, m_foreImageText, fill);
    }
}

CSliderUI::CSliderUI(QWidget* parent) : CProgressUI(parent) {
    m_trackHeight = 4;
    m_trackColor = 0xFF3A3F4B;
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void CSliderUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("step"))
        SetChangeStep(value.toInt());
    else if (n == QLatin1String("thumbsize"))
        m_thumbSize = ParseSize(value).width();
    else if (n == QLatin1String("thumbcolor"))
        m_thumbColor = ParseColor(value);
    else if (n == QLatin1String("thumbimage"))
        m_thumbImage = value;
    else
        CProgressUI::SetAttribute(name, value);
}

int CSliderUI::valueAt(const QPoint& pos) const {
    const int thumb = Scale(m_thumbSize);
    const double span = m_max - m_min;
    double f = 0;
    if (m_horizontal)
        f = width() > thumb ? double(pos.x() - thumb / 2) / (width() - thumb) : 0;
    else
        f = height() > thumb ? 1.0 - double(pos.y() - thumb / 2) / (height() - thumb) : 0;
    f = qBound(0.0, f, 1.0);
    int v = m_min + qRound(f * span);
    if (m_step > 1)
        v = m_min + ((v - m_min + m_step / 2) / m_step) * m_step;
    return qBound(m_min, v, m_max);
}

void CSliderUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    m_dragging = true;
    const int v = valueAt(event->position().toPoint());
    if (v != m_value) {
        SetValue(v);
        SendNotify(notify::kMoveValueChanged);
    }
}

void CSliderUI::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    const int v = valueAt(event->position().toPoint());
    if (v != m_value) {
        SetValue(v);
        SendNotify(notify::kMoveValueChanged);
    }
}

void CSliderUI::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    m_dragging = false;
    SetValue(valueAt(event->position().toPoint()));
    SendNotify(notify::kValueChanged);
}

void CSliderUI::wheelEvent(QWheelEvent* event) {
    if (!isEnabled())
        return;
    StepByUser(event->angleDelta().y() > 0 ? 1 : -1);
    event->accept();
}

void CSliderUI::SetValueByUser(int value) {
    const int before = m_value;
    SetValue(value);
    if (m_value != before)
        SendNotify(notify::kValueChanged);
}

void CSliderUI::keyPressEvent(QKeyEvent* event) {
    const int page = qMax(m_step, (m_max - m_min) / 5);
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        StepByUser(-1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        StepByUser(1);
        break;
    case Qt::Key_PageDown:
        SetValueByUser(m_value - page);
        break;
    case Qt::Key_PageUp:
        SetValueByUser(m_value + page);
        break;
    case Qt::Key_Home:
        SetValueByUser(m_min);
        break;
    case Qt::Key_End:
        SetValueByUser(m_max);
        break;
    default:
        CProgressUI::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CSliderUI::PaintStatusImage(QPainter& p) {
    const int thumb = Scale(m_thumbSize);
    // The track runs between the thumb's centre positions at both ends.
    const QRect full = TrackRect();
    QRect track =
        m_horizontal ? full.adjusted(thumb / 2, 0, -thumb / 2, 0) : full.adjusted(0, thumb / 2, 0, -thumb / 2);
    QPainterPath trackPath;
    trackPath.addRoundedRect(QRectF(track), track.height() / 2.0, track.height() / 2.0);
    p.fillPath(trackPath, ToQColor(m_trackColor));
    const int span = m_max - m_min;
    const double f = span > 0 ? double(m_value - m_min) / span : 0.0;
    QRect fill = track;
    QPoint centre;
    if (m_horizontal) {
        fill.setWidth(qRound(track.width() * f));
        centre = QPoint(track.left() + fill.width(), height() / 2);
    } else {
        const int h = qRound(track.height() * f);
        fill.setTop(track.bottom() - h);
        centre = QPoint(width() / 2, track.bottom() - h);
    }
    if (!fill.isEmpty()) {
        QBrush brush(ToQColor(m_foreColor));
        if (m_foreColor2) {
            QLinearGradient g(track.topLeft(), m_horizontal ? track.topRight() : track.bottomLeft());
            g.setColorAt(0, ToQColor(m_foreColor));
            g.setColorAt(1, ToQColor(m_foreColor2));
            brush = QBrush(g);
        }
        QPainterPath fillPath;
        fillPath.addRoundedRect(QRectF(fill), track.height() / 2.0, track.height() / 2.0);
        p.fillPath(fillPath, brush);
    }
    const QRect thumbRect(centre.x() - thumb / 2, centre.y() - thumb / 2, thumb, thumb);
    if (!m_thumbImage.isEmpty()) {
        DrawImage(p, m_thumbImage, thumbRect);
    } else {
        p.setPen(QPen(ToQColor(m_foreColor), Scale(2)));
        p.setBrush(ToQColor(isEnabled() ? m_thumbColor : 0xFF888888));
        p.drawEllipse(thumbRect.adjusted(1, 1, -1, -1));
    }
}

} // namespace talyx
