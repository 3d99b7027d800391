#pragma once

#include <QPoint>
#include <QString>
#include <functional>

class QMenu;

namespace talyx {

class MessageTarget;

// A pop-up menu built from an XML layout:
//   <Menu><MenuElement name="exit" textid="menu_exit"/>
//         <MenuElement name="more" text="More"><MenuElement name="x" text="X"/></MenuElement>
//         <MenuSeparator/></Menu>
// The chosen item's name goes to the owner as message 1145 (wParam: const QString*,
// valid while the message is handled). Menus are modeless: CreateMenu returns at once.
class CMenuWnd {
public:
    // Shows the menu at a screen point. False when the layout cannot be read.
    static bool CreateMenu(MessageTarget* owner, const QString& layout, const QPoint& point);
    // Builds the menu without showing it (tests inspect it; nullptr when unreadable).
    static QMenu* BuildMenu(MessageTarget* owner, const QString& layout);
    // Test seam: the next CreateMenu does not show anything and chooses this item at once.
    static void SetNextChoice(const QString& itemName);
};

} // namespace talyx
