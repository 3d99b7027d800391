#include "ui/CDeviceKeyButtonUI.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextOption>

#include "ui/CKeyPictureLayerUI.h"
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
    lightChanged();
}

void CDeviceKeyButtonUI::SetShowLight(bool on) {
    m_showLight = on;
    lightChanged();
}

void CDeviceKeyButtonUI::SetPictureLayer(CKeyPictureLayerUI* layer) {
    m_layer = layer;
}

void CDeviceKeyButtonUI::lightChanged() {
    // A key's own update() makes Qt look at every sibling of the picture for what covers
    // it; the layer gathers the frame's changed keys and asks for one repaint instead.
    if (m_layer && !isHidden())
        m_layer->KeyChanged(this);
    else
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

constexpr QRgb kLitCaption = 0xFFF2F4F8;
constexpr int kFontCheckEvery = 16;

// The parts of a key cap that do not change with its light.
// With an underlay the pixmap is opaque, so a frame copies it rather than blending it.
QPixmap renderCap(const QSize& size, qreal dpr, uint32_t capColor, uint32_t underlay, int edgeState, int radius) {
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(underlay ? ToQColor(underlay) : QColor(Qt::transparent));
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
    const QColor edge =
        edgeState == 2 ? QColor(0x00, 0xd1, 0xff) : (edgeState == 1 ? QColor(0x8a, 0x93, 0xa6) : base.lighter(160));
    p.setPen(QPen(edge, edgeState == 2 ? 2 : 1));
    p.drawPath(cap);
    return pm;
}

} // namespace

void CDeviceKeyButtonUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintKey(p, QPoint(0, 0));
}

void CDeviceKeyButtonUI::layOutCaption(const QFont& font, const QSize& box, qreal dpr) {
    m_caption = QStaticText(m_text);
    m_caption.setTextWidth(box.width());
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WordWrap);
    m_caption.setTextOption(option);
    m_caption.prepare(QTransform(), font);
    m_captionText = m_text;
    m_captionSize = box;
    m_captionFont = font;
    m_captionFontId = GetFont();
    m_captionDpr = dpr;
    m_captionImage[0] = m_captionImage[1] = QPixmap();
}

void CDeviceKeyButtonUI::PaintKey(QPainter& p, const QPoint& origin) {
    PaintKey(p, origin, devicePixelRatioF());
}

void CDeviceKeyButtonUI::PaintKey(QPainter& p, const QPoint& origin, qreal dpr) {
    // Everything is placed from `origin`, so a picture layer paints the key in its own
    // coordinates; the painter is not translated.
    const QRect area(origin, size());
    const int radius = Scale(4);
    const int edgeState = m_selected ? 2 : (m_hot ? 1 : 0);
    if (m_capSize != size() || m_capState != edgeState || m_capColorUsed != m_capColor ||
        m_capUnderlayUsed != m_underlay || m_cap.devicePixelRatio() != dpr) {
        m_cap = renderCap(size(), dpr, m_capColor, m_underlay, edgeState, radius);
        m_capSize = size();
        m_capState = edgeState;
        m_capColorUsed = m_capColor;
        m_capUnderlayUsed = m_underlay;
    }
    p.drawPixmap(origin, m_cap);

    const QColor light = ToQColor(m_lightColor | 0xFF000000u);
    const double level = m_lightBrightness / 255.0;
    const bool lit = m_showLight && m_lightBrightness > 0 && (m_lightColor & 0xFFFFFF);
    const QRect face = area.adjusted(Scale(4), Scale(3), -Scale(4), -Scale(6));
    if (lit) {
        // Light through the cap: a wash over the face and a bright seam at its foot.
        QColor wash = light;
        wash.setAlphaF(0.18 + 0.42 * level);
        p.fillRect(face, wash);
        QColor seam = light;
        seam.setAlphaF(0.45 + 0.55 * level);
        p.fillRect(QRect(face.left(), area.bottom() - Scale(4), face.width(), Scale(2)), seam);
        // The light bleeding round the cap's sides.
        QColor rim = light;
        rim.setAlphaF(0.35 + 0.5 * level);
        const QRect body = area.adjusted(Scale(2), Scale(3), -Scale(2), -Scale(4));
        p.fillRect(QRect(body.left(), body.top(), Scale(1), body.height()), rim);
        p.fillRect(QRect(body.right(), body.top(), Scale(1), body.height()), rim);
        p.fillRect(QRect(body.left() + Scale(3), area.top() + Scale(1), body.width() - Scale(6), Scale(1)), rim);
    }
    if (m_text.isEmpty() || !m_showText)
        return;
    // A lit caption is near white over any light: the light shows in the face, the seam
    // and the rim. So a caption has two looks, each drawn once and then blitted by every
    // frame, instead of its glyphs being laid out again for each colour of the light.
    const QRgb textColor =
        lit ? kLitCaption : (isEnabled() ? (CurrentTextColor() | 0xFF000000u) : qRgb(0x60, 0x66, 0x73));
    const QRect box = face.adjusted(1, 0, -1, 0);
    // Building the font is the dearest part of a frame's key, so its value is looked at
    // again only now and then (a font that changes shows within a few frames) and when the
    // caption changes otherwise.
    const bool layoutChanged =
        m_captionText != m_text || m_captionSize != box.size() || m_captionFontId != GetFont() || m_captionDpr != dpr;
    if (layoutChanged || ++m_fontCheck >= kFontCheckEvery) {
        m_fontCheck = 0;
        const QFont font = TextFont();
        if (layoutChanged || font != m_captionFont)
            layOutCaption(font, box.size(), dpr);
    }
    QPixmap& image = m_captionImage[lit ? 1 : 0];
    QRgb& imageColor = m_captionColor[lit ? 1 : 0];
    if (image.isNull() || imageColor != textColor) {
        image = QPixmap(box.size() * dpr);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter t(&image);
        t.setFont(m_captionFont);
        t.setPen(QColor::fromRgb(textColor));
        t.drawStaticText(QPointF(0, (box.height() - m_caption.size().height()) / 2), m_caption);
        imageColor = textColor;
    }
    p.drawPixmap(box.topLeft(), image);
}

} // namespace talyx
