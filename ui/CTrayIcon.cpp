#include "ui/CTrayIcon.h"

#include <QIcon>
#include <QSystemTrayIcon>

#include "platform/MessageTarget.h"
#include "ui/SkinImage.h"
#include "ui/WindowMessages.h"

namespace talyx {

CTrayIcon::CTrayIcon() = default;

CTrayIcon::~CTrayIcon() {
    DeleteTrayIcon();
}

namespace {
int g_availability = -1;
} // namespace

void CTrayIcon::SetAvailabilityForTest(int available) {
    g_availability = available;
}

bool CTrayIcon::IsAvailable() {
    return g_availability >= 0 ? g_availability == 1 : QSystemTrayIcon::isSystemTrayAvailable();
}

bool CTrayIcon::CreateTrayIcon(MessageTarget* owner, const QString& iconFile, const QString& toolTip,
                               uint32_t message) {
    DeleteTrayIcon();
    if (!IsAvailable())
        return false;
    m_icon = new QSystemTrayIcon(QIcon(ResolveSkinPath(iconFile)));
    m_icon->setToolTip(toolTip);
    QObject::connect(m_icon, &QSystemTrayIcon::activated, m_icon,
                     [owner, message](QSystemTrayIcon::ActivationReason r) {
                         if (!owner)
                             return;
                         if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
                             owner->postMessage(message, 0, WM_LBUTTONUP);
                         else if (r == QSystemTrayIcon::Context)
                             owner->postMessage(message, 0, WM_RBUTTONUP);
                     });
    m_icon->show();
    return true;
}

void CTrayIcon::DeleteTrayIcon() {
    delete m_icon;
    m_icon = nullptr;
}

void CTrayIcon::SetToolTip(const QString& text) {
    if (m_icon)
        m_icon->setToolTip(text);
}

} // namespace talyx
