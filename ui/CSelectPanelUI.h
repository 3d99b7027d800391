#pragma once

#include <QPoint>
#include <QRect>

#include "ui/CContainerUI.h"

namespace talyx {

class CDeviceKeyButtonUI;

// A panel of key buttons where the user drags a rectangle to select many keys at once.
// Releasing the drag selects the key buttons the rectangle touches (adding to the
// selection with Ctrl) and raises "click_select_end".
class CSelectPanelUI : public CContainerUI {
    Q_OBJECT
public:
    explicit CSelectPanelUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("SelectPanelUI"); }
    QList<CDeviceKeyButtonUI*> SelectedButtons() const;
    // Selects the buttons that a rectangle (panel coordinates) touches.
    void SelectInRect(const QRect& area, bool add);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The arrow keys move the focus to the nearest key in their direction; Tab leaves
    // the panel instead of walking through every key.
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    bool m_dragging = false;
    QPoint m_start;
    QPoint m_current;
};

} // namespace talyx
