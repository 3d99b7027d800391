#pragma once

#include <QString>

class QSystemTrayIcon;

namespace talyx {

class MessageTarget;

// The notification-area icon. A left click sends the owner message 1025 with lParam
// WM_LBUTTONUP, a right click the same with WM_RBUTTONUP (the owner opens its menu).
// Where the desktop has no tray, IsAvailable() is false and nothing is shown.
class CTrayIcon {
public:
    CTrayIcon();
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // False when the desktop has no tray.
    bool CreateTrayIcon(MessageTarget* owner, const QString& iconFile, const QString& toolTip, uint32_t message);
    void DeleteTrayIcon();
    void SetToolTip(const QString& text);
    bool IsCreated() const { return m_icon != nullptr; }
    static bool IsAvailable();
    // Test seam: 1 pretends the desktop has a tray, 0 that it has none, -1 asks the
    // desktop again.
    static void SetAvailabilityForTest(int available);

private:
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace talyx
