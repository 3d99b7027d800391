#pragma once

#include "ui/CButtonUI.h"

namespace talyx {

// A button that stays selected. Options of one "group" select one another out; an
// option without a group toggles. A change of selection raises "selectchanged".
class COptionUI : public CButtonUI {
    Q_OBJECT
public:
    explicit COptionUI(QWidget* parent = nullptr);
    ~COptionUI() override;
    QString GetClass() const override { return QStringLiteral("OptionUI"); }

    bool IsSelected() const { return m_selected; }
    // Selects or clears the option; with triggerEvent, raises "selectchanged" on a change.
    virtual void Selected(bool selected, bool triggerEvent = true);
    QString GetGroup() const { return m_group; }
    void SetGroup(const QString& group);

    bool Activate() override;
    void SetManager(CPaintManagerUI* manager) override;
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    // The arrow keys move to the next or previous option of the group and select it.
    void keyPressEvent(QKeyEvent* event) override;
    void PaintBkColor(QPainter& p) override;
    void PaintStatusImage(QPainter& p) override;
    void PaintText(QPainter& p) override;

    bool m_selected = false;
    QString m_group;
    QString m_selectedImage;
    QString m_selectedHotImage;
    uint32_t m_selectedBkColor = 0;
    uint32_t m_selectedTextColor = 0;
    uint32_t m_selectedBorderColor = 0;
};

// A check box: an option with its own check image.
class CCheckBoxUI : public COptionUI {
    Q_OBJECT
public:
    using COptionUI::COptionUI;
    QString GetClass() const override { return QStringLiteral("CheckBoxUI"); }
    bool GetCheck() const { return IsSelected(); }
    void SetCheck(bool check, bool triggerEvent = true) { Selected(check, triggerEvent); }
};

} // namespace talyx
