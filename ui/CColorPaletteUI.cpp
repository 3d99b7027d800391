#include "ui/CColorPaletteUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/UIAttributes.h"

namespace talyx {

CColorPaletteUI::CColorPaletteUI(QWidget* parent) : CControlUI(parent) { setCursor(Qt::CrossCursor); }

uint32_t CColorPaletteUI::GetSelectColor() const {
    return QColor::fromHsv(m_hue, m_saturation, m_value).rgba();
}

void CColorPaletteUI::SetSelectColor(uint32_t argb) {
    const QColor c = ToQColor(argb | 0xFF000000u);
    int h = c.hsvHue();
    // Greys have no hue; keep the one shown.
    if (h >= 0)
        m_hue = h;
    m_saturation = c.hsvSaturation();
    m_value = c.value();
    update();
}

void CColorPaletteUI::SetAttribute(const QString& name, const QString& value) {
    const QString n = name.toLower();
    if (n == QLatin1String("barheight") || n == QLatin1String("palletheight"))
        m_barHeight = value.toInt();
    else if (n == QLatin1String("color") || n == QLatin1String("selectcolor"))
        SetSelectColor(ParseColor(value));
    else
        CControlUI::SetAttribute(name, value);
}

QRect CColorPaletteUI::fieldRect() const {
    return QRect(0, 0, width(), qMax(1, height() - Scale(m_barHeight) - Scale(m_gap)));
}

QRect CColorPaletteUI::barRect() const {
    return QRect(0, height() - Scale(m_barHeight), width(), Scale(m_barHeight));
}

void CColorPaletteUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect field = fieldRect();
    if (m_cacheHue != m_hue || m_fieldCache.size() != field.size()) {
        m_fieldCache = QImage(field.size(), QImage::Format_RGB32);
        for (int y = 0; y < field.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_fieldCache.scanLine(y));
            const int v = 255 - y * 255 / qMax(1, field.height() - 1);
            for (int x = 0; x < field.width(); ++x)
                line[x] = QColor::fromHsv(m_hue, x * 255 / qMax(1, field.width() - 1), v).rgb();
        }
        m_cacheHue = m_hue;
    }
    QPainterPath clip;
    clip.addRoundedRect(QRectF(field), Scale(6), Scale(6));
    p.setClipPath(clip);
    p.drawImage(field.topLeft(), m_fieldCache);
    p.setClipping(false);

    const QRect bar = barRect();
    QLinearGradient hues(bar.topLeft(), bar.topRight());
    for (int i = 0; i <= 6; ++i)
        hues.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
    QPainterPath barPath;
    barPath.addRoundedRect(QRectF(bar), bar.height() / 2.0, bar.height() / 2.0);
    p.fillPath(barPath, hues);

    const QPoint marker(field.left() + m_saturation * (field.width() - 1) / 255,
                        field.top() + (255 - m_value) * (field.height() - 1) / 255);
    p.setPen(QPen(Qt::white, Scale(2)));
    p.setBrush(QColor::fromHsv(m_hue, m_saturation, m_value));
    p.drawEllipse(marker, Scale(6), Scale(6));
    const int hx = bar.left() + m_hue * (bar.width() - 1) / 359;
    p.setBrush(QColor::fromHsv(m_hue, 255, 255));
    p.drawEllipse(QPoint(hx, bar.center().y()), bar.height() / 2 + Scale(2), bar.height() / 2 + Scale(2));
}

void CColorPaletteUI::pick(const QPoint& pos, bool notifyChange) {
    const uint32_t before = GetSelectColor();
    if (m_drag == Drag::Field) {
        const QRect f = fieldRect();
        m_saturation = qBound(0, (pos.x() - f.left()) * 255 / qMax(1, f.width() - 1), 255);
        m_value = qBound(0, 255 - (pos.y() - f.top()) * 255 / qMax(1, f.height() - 1), 255);
    } else if (m_drag == Drag::Bar) {
        const QRect b = barRect();
        m_hue = qBound(0, (pos.x() - b.left()) * 359 / qMax(1, b.width() - 1), 359);
    }
    update();
    if (notifyChange && GetSelectColor() != before)
        SendNotify(notify::kColorChanged, GetSelectColor());
}

void CColorPaletteUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    const QPoint pos = event->position().toPoint();
    m_drag = barRect().adjusted(0, -Scale(4), 0, 0).contains(pos) ? Drag::Bar : Drag::Field;
    pick(pos, true);
}

void CColorPaletteUI::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag != Drag::None)
        pick(event->position().toPoint(), true);
}

void CColorPaletteUI::mouseReleaseEvent(QMouseEvent*) { m_drag = Drag::None; }

} // namespace talyx
