#pragma once

#include <QPixmap>
#include <QStaticText>

#include "ui/COptionUI.h"

namespace talyx {

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
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
    QStaticText m_caption;
    QString m_captionText;
    int m_captionWidth = -1;
    int m_captionFontSize = -1;
};

} // namespace talyx
