#pragma once

// Small variants of the basic controls that layouts name by their own class names.

#include "ui/CButtonUI.h"
#include "ui/CEditUI.h"
#include "ui/CListUI.h"
#include "ui/COptionUI.h"

namespace talyx {

// An image button with a hand cursor.
class CHandImgButtonUI : public CButtonUI {
    Q_OBJECT
public:
    using CButtonUI::CButtonUI;
    QString GetClass() const override { return QStringLiteral("HandImgButtonUI"); }
};

// An image option with a hand cursor.
class CHandImgSelectButtonUI : public COptionUI {
    Q_OBJECT
public:
    using COptionUI::COptionUI;
    QString GetClass() const override { return QStringLiteral("HandImgSelectButtonUI"); }
};

// A round radio button of the macro editor's option rows.
class CRedioMacroButtonUI : public COptionUI {
    Q_OBJECT
public:
    using COptionUI::COptionUI;
    QString GetClass() const override { return QStringLiteral("RedioMacroButtonUI"); }

protected:
    void PaintStatusImage(QPainter& p) override;
};

// The record button: a dot that shows whether recording runs.
class CAudioRecordUI : public COptionUI {
    Q_OBJECT
public:
    using COptionUI::COptionUI;
    QString GetClass() const override { return QStringLiteral("AudioRecordUI"); }
    bool IsRecording() const { return IsSelected(); }

protected:
    void PaintStatusImage(QPainter& p) override;
};

// A list row for a shared cloud item.
class CCloudShareListItemUI : public CListContainerElementUI {
    Q_OBJECT
public:
    using CListContainerElementUI::CListContainerElementUI;
    QString GetClass() const override { return QStringLiteral("CloudShareListItemUI"); }
};

// A list row holding an editable value (a macro event's delay, for instance).
class CComboEditContainerElementUI : public CListContainerElementUI {
    Q_OBJECT
public:
    using CListContainerElementUI::CListContainerElementUI;
    QString GetClass() const override { return QStringLiteral("ComboEditContainerElementUI"); }
};

// A container for a foreign widget (a native view embedded in a page).
class CWndUI : public CContainerUI {
    Q_OBJECT
public:
    using CContainerUI::CContainerUI;
    QString GetClass() const override { return QStringLiteral("WndUI"); }
    // Takes ownership of the widget and keeps it filling the control.
    void Attach(QWidget* widget);
    QWidget* Attached() const { return m_widget; }

protected:
    int LayoutItems(const QRect& area) override;

private:
    QWidget* m_widget = nullptr;
};

} // namespace talyx
