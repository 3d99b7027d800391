#pragma once

#include <QMargins>
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "ui/SkinImage.h"
#include "ui/UIDefs.h"

namespace talyx {

class CContainerUI;

// Base of every control of the skin. A control is a Qt widget whose object name is the
// control name of the layout; its sizes are logical (96 DPI) units that the paint manager
// scales. It paints itself from skin attributes: background colour or gradient, background
// image, a status image for the derived classes, fore image, text and border.
class CControlUI : public QWidget {
    Q_OBJECT
public:
    explicit CControlUI(QWidget* parent = nullptr);
    ~CControlUI() override;

    virtual QString GetClass() const { return QStringLiteral("ControlUI"); }

    QString GetName() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }

    virtual QString GetText() const { return m_text; }
    virtual void SetText(const QString& text);
    // The language key the text comes from; the text follows the language table.
    QString GetTextId() const { return m_textId; }
    void SetTextId(const QString& key);
    void SetToolTip(const QString& text) { setToolTip(text); }
    void SetToolTipId(const QString& key);
    // Re-reads the text and tool tip from the language table (when they have keys).
    virtual void ReloadText();

    // Visibility as the layout sees it: a hidden control takes no room.
    virtual void SetVisible(bool visible);
    bool IsVisible() const { return m_visible; }
    virtual void SetEnabled(bool enabled);
    bool IsEnabled() const { return isEnabled(); }

    uint32_t GetBkColor() const { return m_bkColor; }
    void SetBkColor(uint32_t argb);
    uint32_t GetBkColor2() const { return m_bkColor2; }
    void SetBkColor2(uint32_t argb);
    QString GetBkImage() const { return m_bkImageText; }
    void SetBkImage(const QString& image);
    QString GetForeImage() const { return m_foreImageText; }
    void SetForeImage(const QString& image);
    uint32_t GetBorderColor() const { return m_borderColor; }
    void SetBorderColor(uint32_t argb);
    void SetBorderSize(int size);
    void SetBorderRound(int radius);
    uint32_t GetTextColor() const { return m_textColor; }
    void SetTextColor(uint32_t argb);
    void SetDisabledTextColor(uint32_t argb);
    int GetFont() const { return m_font; }
    void SetFont(int id);
    void SetTextPadding(const QMargins& m);
    // Qt::Alignment flags for the text.
    void SetTextAlign(int flags);
    void SetWordBreak(bool on) { m_wordBreak = on; }
    // False when the text is only a state the control keeps, not drawn ("showtext").
    bool IsTextShown() const { return m_showText; }

    // Layout, in logical units. 0 = take what the parent gives.
    int GetFixedWidth() const { return m_fixedWidth; }
    int GetFixedHeight() const { return m_fixedHeight; }
    void SetFixedWidth(int width);
    void SetFixedHeight(int height);
    QMargins GetPadding() const { return m_padding; }
    void SetPadding(const QMargins& padding);
    bool IsFloat() const { return m_float; }
    void SetFloat(bool f);
    // Position of a floating control inside its parent, logical units.
    QRect GetFloatPos() const { return m_floatPos; }
    void SetFloatPos(const QRect& pos);

    // What the control is to a screen reader when its class alone does not say it: "tab"
    // for the options that switch pages, "tablist" for the row that holds them.
    // A control that only reacts to the mouse and says it is a "tab" or "button" takes
    // the focus, and Space or Enter click it (PressByUser).
    QString GetAccessibleRole() const { return m_accessibleRole; }
    void SetAccessibleRole(const QString& role);
    // A click in the middle of the control, as the mouse would give it.
    void PressByUser();
    // The language key of the name a screen reader says when the control shows no text
    // and has no tool tip ("nameid").
    QString GetNameId() const { return m_nameId; }
    void SetNameId(const QString& key) { m_nameId = key; }

    QString GetUserData() const { return m_userData; }
    void SetUserData(const QString& data) { m_userData = data; }
    uintptr_t GetTag() const { return m_tag; }
    void SetTag(uintptr_t tag) { m_tag = tag; }

    CPaintManagerUI* GetManager() const { return m_manager; }
    // Binds this control and its children to a window's paint manager.
    virtual void SetManager(CPaintManagerUI* manager);
    // Called by a paint manager that goes away before its controls.
    void ForgetManager() { m_manager = nullptr; }
    CControlUI* GetParentControl() const;

    // Applies one skin attribute; unknown names are ignored.
    virtual void SetAttribute(const QString& name, const QString& value);
    // "name=\"value\" name2=\"value2\"" as the <Default> entries write it.
    void ApplyAttributeList(const QString& list);

    // Finds a descendant control by name.
    CControlUI* FindSubControl(const QString& name) const;

    // Called once the builder has created the control and its children.
    virtual void DoInit() {}
    // Called when a control timer of this control fires. The default raises "timer".
    virtual void OnTimer(int id);

    // The size the control asks of its parent, in device pixels; 0 = stretch.
    virtual QSize EstimateSize(const QSize& available) const;

    // Raises a notification from this control (see CPaintManagerUI::SendNotify).
    void SendNotify(const QString& type, WPARAM wParam = 0, LPARAM lParam = 0, bool async = false);

    int Scale(int logical) const;
    double ScaleFactor() const;

    // Asks the parent to lay its children out again.
    void NeedParentUpdate();
    // Called when the DPI changes.
    virtual void OnScaleChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    virtual void PaintBkColor(QPainter& p);
    virtual void PaintBkImage(QPainter& p);
    virtual void PaintStatusImage(QPainter& p);
    virtual void PaintText(QPainter& p);
    virtual void PaintBorder(QPainter& p);

    QRect TextRect() const;
    // The text as it fits into `r` with the painter's font: elided on one line, whole when
    // it wraps. A text that does not fit is reported once to the debug output ("text
    // clipped"), so a language whose words are too long for a control is found.
    QString FittedText(const QPainter& p, const QRect& r);
    QFont TextFont() const;
    uint32_t CurrentTextColor() const;
    bool IsHot() const { return m_hot; }
    void DrawImage(QPainter& p, const QString& imageText, const QRect& rect = QRect());

    CPaintManagerUI* m_manager = nullptr;
    QString m_text;
    QString m_textId;
    QString m_toolTipId;
    bool m_visible = true;
    bool m_hot = false;
    uint32_t m_bkColor = 0;
    uint32_t m_bkColor2 = 0;
    uint32_t m_hotBkColor = 0;
    uint32_t m_borderColor = 0;
    uint32_t m_hotBorderColor = 0;
    int m_borderSize = 0;
    int m_borderRound = 0;
    uint32_t m_textColor = 0;
    uint32_t m_disabledTextColor = 0;
    int m_font = -1;
    int m_textAlign = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_wordBreak = false;
    QMargins m_textPadding;
    QString m_bkImageText;
    QString m_foreImageText;
    int m_fixedWidth = 0;
    int m_fixedHeight = 0;
    int m_minWidth = 0;
    int m_minHeight = 0;
    QMargins m_padding;
    bool m_float = false;
    QRect m_floatPos;
    QString m_userData;
    QString m_accessibleRole;
    QString m_nameId;
    QString m_clippedReported;
    uintptr_t m_tag = 0;
    bool m_notifyHover = false;
    bool m_showText = true;
};

// A control that only shows text.
class CLabelUI : public CControlUI {
    Q_OBJECT
public:
    using CControlUI::CControlUI;
    QString GetClass() const override { return QStringLiteral("LabelUI"); }
};

} // namespace talyx
