#pragma once

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QStaticText>

#include "ui/COptionUI.h"

namespace talyx {

class CKeyPictureLayerUI;

// One key of a device picture: a key cap with its caption and, below the caption, the
// colour its light shows. Selectable (on its own or through a selection panel).
class CDeviceKeyButtonUI : public COptionUI {
    Q_OBJECT
public:
    explicit CDeviceKeyButtonUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("DeviceKeyButtonUI"); }

    // The light's colour (ARGB) and brightness 0..255, as the last frame gave them.
    void SetLightColor(uint32_t argb, int brightness = 255);
    uint32_t GetLightColor() const { return m_lightColor; }
    int GetLightBrightness() const { return m_lightBrightness; }
    // Whether the cap glows in its light colour (lighting views) or stays plain.
    void SetShowLight(bool on);
    void SetAttribute(const QString& name, const QString& value) override;
    // True when the key paints every pixel of its rectangle (it has an underlay), so a
    // picture layer may paint it in place of the key itself.
    bool PaintsWholeRect() const { return m_underlay != 0; }
    // Paints the key with its top left corner at `origin` of the painter's device: its own
    // paint event, or the picture layer that paints many keys in one pass.
    void PaintKey(QPainter& p, const QPoint& origin);
    // The same for a device of the given pixel ratio (a layer asks for it once per pass).
    void PaintKey(QPainter& p, const QPoint& origin, qreal dpr);
    // The layer that paints this key (set by the layer); light changes then go to it.
    void SetPictureLayer(CKeyPictureLayerUI* layer);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Repaints the key: through its picture layer when it has one.
    void lightChanged();
    void layOutCaption(const QFont& font, const QSize& box, qreal dpr);

    QPointer<CKeyPictureLayerUI> m_layer;
    uint32_t m_lightColor = 0;
    int m_lightBrightness = 0;
    bool m_showLight = true;
    uint32_t m_capColor = 0xFF1E222B;
    uint32_t m_underlay = 0;
    // What does not change with the light, kept between frames.
    QPixmap m_cap;
    QSize m_capSize;
    int m_capState = -1;
    uint32_t m_capColorUsed = 0;
    uint32_t m_capUnderlayUsed = 0;
    QStaticText m_caption;
    QString m_captionText;
    QSize m_captionSize;
    QFont m_captionFont;
    int m_captionFontId = -2;
    int m_fontCheck = 0;
    qreal m_captionDpr = 0;
    // The caption unlit [0] and lit [1], drawn in m_captionColor, blitted by each frame.
    QPixmap m_captionImage[2];
    QRgb m_captionColor[2] = {0, 0};
};

} // namespace talyx
