#pragma once

#include "ui/CContainerUI.h"

class QComboBox;

namespace talyx {

class CListLabelElementUI;

// A drop-down choice. Its items are list rows (text, language key, user data) kept as
// children; the shown list is drawn by Qt. A choice by the user raises "itemselect"
// (wParam the new index, lParam the old one); SelectItem can raise it or not.
class CComboUI : public CContainerUI {
    Q_OBJECT
public:
    explicit CComboUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ComboUI"); }

    int GetCurSel() const;
    bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true);
    QString GetText() const override;
    bool AddAt(CControlUI* control, int index) override;
    bool Remove(CControlUI* control, bool doNotDestroy = false) override;
    void RemoveAll() override;
    void ReloadText() override;
    // The rows' texts may come after the rows (from the layout): show them now.
    void DoInit() override;
    // Adds a row with a text and user data; returns it.
    CListLabelElementUI* AddItem(const QString& text, const QString& userData = QString());
    // A hidden row keeps its index: it is left out of the shown list and skipped by the
    // arrow keys and the wheel, but SelectItem can still choose it (a stored choice that
    // this device does not offer stays shown as the current text).
    void SetItemHidden(int index, bool hidden);
    bool IsItemHidden(int index) const;
    void SetAttribute(const QString& name, const QString& value) override;
    QComboBox* Box() const { return m_box; }
    // Opens the list of rows.
    void ShowPopup();

protected:
    // Up and Down (Left, Right, Home, End) choose the next shown row as the user's choice;
    // Space, Enter, F4 and Alt+Down open the list.
    void keyPressEvent(QKeyEvent* event) override;
    int LayoutItems(const QRect& area) override;
    void OnScaleChanged() override;
    void PaintText(QPainter&) override {}

private:
    void applyStyle();
    void syncTexts();
    void applyHidden(int index);
    QComboBox* m_box;
    int m_lastSel = -1;
    QList<bool> m_hidden; // by index, as long as the rows
};

} // namespace talyx
