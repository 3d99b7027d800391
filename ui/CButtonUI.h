#pragma once

#include "ui/CControlUI.h"

namespace talyx {

// A clickable label with an image and colours per state (normal, hot, pushed,
// disabled). A click raises "click".
class CButtonUI : public CLabelUI {
    Q_OBJECT
public:
    explicit CButtonUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ButtonUI"); }

    // What a click does; raises "click". Returns false when the button is disabled.
    virtual bool Activate();

    void SetNormalImage(const QString& image);
    QString GetNormalImage() const { return m_normalImage; }
    void SetHotImage(const QString& image);
    void SetPushedImage(const QString& image);
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Space and Enter press the button like a click.
    void keyPressEvent(QKeyEvent* event) override;
    void PaintBkColor(QPainter& p) override;
    void PaintStatusImage(QPainter& p) override;
    uint32_t CurrentTextColorForState() const;
    void PaintText(QPainter& p) override;

    bool m_pushed = false;
    QString m_normalImage;
    QString m_hotImage;
    QString m_pushedImage;
    QString m_disabledImage;
    uint32_t m_hotTextColor = 0;
    uint32_t m_pushedTextColor = 0;
    uint32_t m_pushedBkColor = 0;
};

} // namespace talyx
