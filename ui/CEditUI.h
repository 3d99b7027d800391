#pragma once

#include "ui/CControlUI.h"

class QLineEdit;

namespace talyx {

// A one-line text field. Raises "textchanged" on every edit by the user, "return" on
// Enter, "setfocus" and "killfocus". With number-only, only digits are accepted and,
// when a minimum or maximum is set, the value is brought into range when editing ends.
class CEditUI : public CLabelUI {
    Q_OBJECT
public:
    explicit CEditUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("EditUI"); }

    QString GetText() const override;
    void SetText(const QString& text) override;
    void SetNumberOnly(bool on);
    bool IsNumberOnly() const { return m_numberOnly; }
    void SetMaxChar(int count);
    int GetMaxChar() const;
    void SetMinValue(int value);
    void SetMaxValue(int value);
    int GetMinValue() const { return m_minValue; }
    int GetMaxValue() const { return m_maxValue; }
    void SetReadOnly(bool on);
    void SetPasswordMode(bool on);
    void SetAttribute(const QString& name, const QString& value) override;
    QLineEdit* LineEdit() const { return m_edit; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void PaintText(QPainter&) override {}
    void OnScaleChanged() override;

private:
    void applyStyle();
    void clampToRange();
    // While the box is empty its prompt is shown whole: the font steps down (to 9 px at
    // most) until it fits, and the typed text gets the box's own font back.
    void fitPrompt();

    QLineEdit* m_edit;
    bool m_numberOnly = false;
    int m_minValue = 0;
    int m_maxValue = 0;
    bool m_hasMin = false;
    bool m_hasMax = false;
};

} // namespace talyx
