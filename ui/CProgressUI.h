#pragma once

#include "ui/CControlUI.h"

namespace talyx {

// A bar filled in proportion to its value between its minimum and maximum.
class CProgressUI : public CLabelUI {
    Q_OBJECT
public:
    explicit CProgressUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ProgressUI"); }

    int GetMinValue() const { return m_min; }
    int GetMaxValue() const { return m_max; }
    int GetValue() const { return m_value; }
    void SetMinValue(int value);
    void SetMaxValue(int value);
    // The value is kept inside the bounds.
    virtual void SetValue(int value);
    bool IsHorizontal() const { return m_horizontal; }
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    void PaintStatusImage(QPainter& p) override;
    QRect FillRect() const;
    QRect TrackRect() const;

    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
    bool m_horizontal = true;
    uint32_t m_foreColor = 0xFF00C8FF;
    uint32_t m_foreColor2 = 0;
    uint32_t m_trackColor = 0;
    int m_trackHeight = 0;
};

// A progress bar the user drags. While dragging it raises "movevaluechanged"; when the
// button is released (or on a click or wheel step) it raises "valuechanged".
class CSliderUI : public CProgressUI {
    Q_OBJECT
public:
    explicit CSliderUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("SliderUI"); }
    int GetChangeStep() const { return m_step; }
    void SetChangeStep(int step) { m_step = qMax(1, step); }
    // A value chosen by the user (keys, wheel, a screen reader): raises "valuechanged"
    // when the value changes. StepByUser moves by `steps` change steps.
    void SetValueByUser(int value);
    void StepByUser(int steps) { SetValueByUser(m_value + steps * m_step); }
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // Left and Down lower the value by a step, Right and Up raise it; Page Down and Page
    // Up move by a fifth of the range, Home and End go to the ends.
    void keyPressEvent(QKeyEvent* event) override;
    void PaintStatusImage(QPainter& p) override;

private:
    int valueAt(const QPoint& pos) const;
    int m_step = 1;
    bool m_dragging = false;
    int m_thumbSize = 14;
    uint32_t m_thumbColor = 0xFFFFFFFF;
    QString m_thumbImage;
};

} // namespace talyx
