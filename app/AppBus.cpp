#include "app/AppBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "app/AppMessages.h"
#include "platform/Debug.h"
#include "platform/MessageRegistry.h"
#include "platform/Product.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

constexpr const char* kWorkToolService = "org.talyx.WorkTool";
constexpr const char* kWorkToolPath = "/org/talyx/WorkTool";

} // namespace

AppBus::AppBus(QObject* parent) : QObject(parent) {}

bool AppBus::Export() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    return bus.registerObject(QString::fromLatin1(kBusPath), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

void AppBus::post(uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (m_target && msg)
        m_target->postMessage(msg, wParam, lParam);
}

void AppBus::Instance(uint wParam, qlonglong lParam) {
    post(WM_APP_INSTANCE, wParam, lParam);
}
void AppBus::UpdateState(uint wParam, qlonglong lParam) {
    updateState(wParam, lParam);
}
void AppBus::OpenSettings() {
    post(kMsgOpenUpdatePage, 0, 0);
}
void AppBus::LightControl(uint wParam, qlonglong lParam) {
    post(WM_APP_LIGHT_CONTROL, wParam, lParam);
}
void AppBus::WorkToolQuery() {
    post(WM_APP_WORKTOOL_QUERY, 0, 0);
}

void AppBus::CopyData(uint dwData, qulonglong, const QByteArray& data) {
    // The sender is told by the bus, not by the call: wParam is no proof of anything.
    if (m_copyData && calledFromDBus())
        m_copyData(message().service(), dwData, data);
}

void AppBus::updateState(WPARAM wParam, LPARAM lParam) {
    uint32_t pid = 0;
    if (calledFromDBus() && connection().interface()) {
        const QDBusReply<uint> reply = connection().interface()->servicePid(message().service());
        if (reply.isValid())
            pid = reply.value();
    }
    if (!m_updateFilter || !m_updateFilter(pid)) {
        DebugOutputF("update report from process %u refused", pid);
        return;
    }
    // Sent, not posted: the report is applied before the caller's call returns.
    if (m_target && WM_APP_UPDATE_STATE)
        m_target->sendMessage(WM_APP_UPDATE_STATE, wParam, lParam);
}

bool AppBus::PostMessage(const QString& name, qulonglong wParam, qlonglong lParam) {
    // A name from outside is looked up, never registered: any program on the bus may
    // call this with any name, and a registered name stays for good.
    const uint32_t id = FindRegisteredMessage(name.toStdString());
    // Only the messages other programs may send come in this way.
    if (id == 0 || (id != WM_APP_INSTANCE && id != WM_APP_UPDATE_STATE && id != WM_APP_LIGHT_CONTROL &&
                    id != WM_APP_WORKTOOL_QUERY))
        return false;
    if (id == WM_APP_UPDATE_STATE)
        updateState(static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    else
        post(id, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    return true;
}

void AppBus::BroadcastLightClaim(uint32_t wParam, int64_t lParam) {
    emit LightClaim(wParam, lParam);
}

bool AppBus::SendToWorkTool(uint32_t dwData, const QByteArray& data) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWorkToolService))
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kWorkToolService, kWorkToolPath, kWorkToolService, QStringLiteral("CopyData"));
    call << dwData << static_cast<qulonglong>(kWorkToolWParam) << data;
    return bus.send(call);
}

} // namespace talyx
