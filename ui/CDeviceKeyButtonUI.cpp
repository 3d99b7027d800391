#include "ui/CDeviceKeyButtonUI.h"

#include <QPainter>
#include <QPainterPath>

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
    else if (name.compare(QLatin1String("showlight"), Qt::CaseInsensitive) == 0)
        m_showLight = ParseBool(value);
    else
        COptionUI::SetAttribute(name, value);
}

void CDeviceKeyButtonUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal radius = Scale(4);
    const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
    QColor light = ToQColor(m_lightColor | 0xFF000000u);
    const double level = m_lightBrightness / 255.0;
    const bool lit = m_showLight && m_lightBrightness > 0 && (m_lightColor & 0xFFFFFF);

    // The cap: dark plastic, tinted by the light that shines through its edges.
    QPainterPath cap;
    cap.addRoundedRect(outer, radius, radius);
    QColor base = ToQColor(m_capColor);
    p.fillPath(cap, base);
    if (lit) {
        QColor glow = light;
        glow.setAlphaF(0.25 + 0.55 * level);
        QRadialGradient g(outer.center(), qMax(outer.width(), outer.height()) * 0.75);
        g.setColorAt(0.0, QColor(glow.red(), glow.green(), glow.blue(), int(glow.alpha() * 0.35)));
        g.setColorAt(1.0, glow);
        p.fillPath(cap, g);
    }
    // The top face sits a little inside the cap, like a real key.
    const QRectF face = outer.adjusted(Scale(3), Scale(2), -Scale(3), -Scale(5));
    QPainterPath top;
    top.addRoundedRect(face, radius * 0.8, radius * 0.8);
    p.fillPath(top, base.lighter(115));

    QColor edge = m_selected ? QColor(0x00, 0xd1, 0xff) : (m_hot ? QColor(0x8a, 0x93, 0xa6) : base.lighter(160));
    if (lit && !m_selected && !m_hot)
        edge = light.lighter(110);
    p.setPen(QPen(edge, m_selected ? Scale(2) : 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cap);

    if (!m_text.isEmpty()) {
        QFont f = TextFont();
        p.setFont(f);
        QColor textColor = isEnabled() ? ToQColor(CurrentTextColor()) : QColor(0x60, 0x66, 0x73);
        if (lit)
            textColor = QColor::fromRgbF(0.75 + 0.25 * light.redF(), 0.75 + 0.25 * light.greenF(),
                                         0.75 + 0.25 * light.blueF());
        p.setPen(textColor);
        p.drawText(face.toRect().adjusted(1, 0, -1, 0), Qt::AlignCenter | Qt::TextWordWrap, m_text);
    }
}

} // namespace talyx
