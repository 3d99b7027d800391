#pragma once

#include <QImage>

#include "ui/CControlUI.h"

namespace talyx {

// A colour picker: a saturation and brightness field above a hue bar. Picking with the
// mouse raises "colorchanged"; SetSelectColor does not.
class CColorPaletteUI : public CControlUI {
    Q_OBJECT
public:
    explicit CColorPaletteUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ColorPaletteUI"); }

    uint32_t GetSelectColor() const;
    void SetSelectColor(uint32_t argb);
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect fieldRect() const;
    QRect barRect() const;
    void pick(const QPoint& pos, bool notifyChange);

    int m_hue = 0;        // 0..359
    int m_saturation = 255;
    int m_value = 255;
    int m_barHeight = 12;
    int m_gap = 8;
    enum class Drag { None, Field, Bar } m_drag = Drag::None;
    QImage m_fieldCache;
    int m_cacheHue = -1;
};

} // namespace talyx
