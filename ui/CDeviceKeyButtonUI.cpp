#include "ui/CDeviceKeyButtonUI.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextOption>

#include "ui/UIAttributes.h"

namespace talyx {

CDeviceKeyButtonUI::CDeviceKeyButtonUI(QWidget* parent) : COptionUI(parent) {
    m_textAlign = Qt::AlignCenter;
    m_wordBreak = true;
}

void CDeviceKeyButtonUI::SetLightColor(uint32_t argb, int brightness) {
    if (m_lightColor == argb && m_lightBrightness == brightness)
        return;
    m_lightColor = argb;
    m_lightBrightness = qBound(0, brightness, 255);
    update();
}

void CDeviceKeyButtonUI::SetShowLight(bool on) {
    m_showLight = on;
    update();
}

void CDeviceKeyButtonUI::SetAttribute(const QString& name, const QString& value) {
    if (name.compare(QLatin1String("capcolor"), Qt::CaseInsensitive) == 0)
        m_capColor = ParseColor(value);
    else if (name.compare(QLatin1String("underlay"), Qt::CaseInsensitive) == 0) {
        // The colour of what lies under the key (the keyboard's plate). With it the key
        // paints its whole rectangle, so nothing behind it is repainted when its light
        // changes: the picture then costs a key's own drawing per frame, not its layers.
        m_underlay = ParseColor(value);
        setAttribute(Qt::WA_OpaquePaintEvent, m_underlay != 0);
    } else if (name.compare(QLatin1String("showlight"), Qt::CaseInsensitive) == 0)
        m_showLight = ParseBool(value);
    else
        COptionUI::SetAttribute(name, value);
}

namespace {

// The parts of a key cap that do not change with its light.
QPixmap renderCap(const QSize& size, qreal dpr, uint32_t capColor, int edgeState, int radius) {
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(1, 1, -1, -1);
    const QColor base = ToQColor(capColor);
    QPainterPath cap;
    cap.addRoundedRect(outer, radius, radius);
    p.fillPath(cap, base);
    const QRectF face = outer.adjusted(3, 2, -3, -5);
    QPainterPath top;
    top.addRoundedRect(face, radius * 0.8, radius * 0.8);
    p.fillPath(top, base.lighter(115));
    const QColor edge = edgeState == 2 ? QColor(0x00, 0xd1, 0xff) : (edgeState == 1 ? QColor(0x8a, 0x93, 0xa6) : base.lighter(160));
    p.setPen(QPen(edge, edgeState == 2 ? 2 : 1));
    p.drawPath(cap);
    return pm;
}

} // namespace

void CDeviceKeyButtonUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_underlay)
        p.fillRect(rect(), ToQColor(m_underlay));
    const int radius = Scale(4);
    const int edgeState = m_selected ? 2 : (m_hot ? 1 : 0);
    if (m_capSize != size() || m_capState != edgeState || m_capColorUsed != m_capColor) {
        m_cap = renderCap(size(), devicePixelRatioF(), m_capColor, edgeState, radius);
        m_capSize = size();
        m_capState = edgeState;
        m_capColorUsed = m_capColor;
    }
    p.drawPixmap(0, 0, m_cap);

    const QColor light = ToQColor(m_lightColor | 0xFF000000u);
    const double level = m_lightBrightness / 255.0;
    const bool lit = m_showLight && m_lightBrightness > 0 && (m_lightColor & 0xFFFFFF);
    const QRect face = rect().adjusted(Scale(4), Scale(3), -Scale(4), -Scale(6));
    if (lit) {
        // Light through the cap: a wash over the face and a bright seam at its foot.
        QColor wash = light;
        wash.setAlphaF(0.18 + 0.42 * level);
        p.fillRect(face, wash);
        QColor seam = light;
        seam.setAlphaF(0.45 + 0.55 * level);
        p.fillRect(QRect(face.left(), rect().bottom() - Scale(4), face.width(), Scale(2)), seam);
        // The light bleeding round the cap's sides.
        QColor rim = light;
        rim.setAlphaF(0.35 + 0.5 * level);
        const QRect body = rect().adjusted(Scale(2), Scale(3), -Scale(2), -Scale(4));
        p.fillRect(QRect(body.left(), body.top(), Scale(1), body.height()), rim);
        p.fillRect(QRect(body.right(), body.top(), Scale(1), body.height()), rim);
        p.fillRect(QRect(body.left() + Scale(3), rect().top() + Scale(1), body.width() - Scale(6), Scale(1)), rim);
    }
    if (!m_text.isEmpty() && m_showText) {
        p.setFont(TextFont());
        QColor textColor = isEnabled() ? ToQColor(CurrentTextColor()) : QColor(0x60, 0x66, 0x73);
        if (lit)
            textColor = QColor::fromRgbF(0.75 + 0.25 * light.redF(), 0.75 + 0.25 * light.greenF(),
                                         0.75 + 0.25 * light.blueF());
        p.setPen(textColor);
        // Laid out once; a frame only draws the glyphs.
        const QFont font = TextFont();
        const QRect box = face.adjusted(1, 0, -1, 0);
        if (m_captionText != m_text || m_captionWidth != box.width() || m_captionFontSize != font.pixelSize()) {
            m_caption = QStaticText(m_text);
            m_caption.setTextWidth(box.width());
            QTextOption option(Qt::AlignHCenter);
            option.setWrapMode(QTextOption::WordWrap);
            m_caption.setTextOption(option);
            m_caption.prepare(QTransform(), font);
            m_captionText = m_text;
            m_captionWidth = box.width();
            m_captionFontSize = font.pixelSize();
        }
        const QSizeF textSize = m_caption.size();
        p.drawStaticText(QPointF(box.left(), box.top() + (box.height() - textSize.height()) / 2), m_caption);
    }
}

} // namespace talyx
