#pragma once

#include <QByteArray>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <functional>

#include "platform/MessageTarget.h"

namespace talyx {

// The program's object on the D-Bus session bus (service and path in platform/Product.h,
// interface "org.talyx.RgbGamingKeyboard"). It stands for the registered window messages
// that companion programs send and receive; each carries (wParam, lParam) as they would.
//
// Methods (received from other programs, posted to the main window):
//   Instance(u wParam, x lParam)        the instance message; a second start sends (0, 1)
//   UpdateState(u wParam, x lParam)     update step and value, for the settings window;
//                                       taken only while an update package of ours runs,
//                                       from that package's processes
//   OpenSettings()                      opens the settings window on its update page
//   LightControl(u wParam, x lParam)    wParam 1; lParam 1 = control the lights, 0 = stop
//   WorkToolQuery()                     asks for the device summary (sent to "WorkTool")
//   CopyData(u dwData, t wParam, ay data)
//                                       the audio recorder's data (kinds 1 and 2), taken
//                                       only from the recorder this program started
//   PostMessage(s name, t wParam, x lParam) → b
//                                       any of the above by its registered name; false
//                                       for any other name
// Signals (broadcast by this program):
//   LightClaim(u wParam, x lParam)      wParam 1; lParam 1 = this program takes the lights
//
// Peers the program calls: the "WorkTool" at org.talyx.WorkTool (method
// CopyData(u dwData, t wParam, ay data)) and the audio recorder at org.talyx.AudioRecorder.
//
// The wParam of CopyData would be the sender's window handle. The peer cannot use one,
// and an address of this process tells any program on the bus where its objects lie in
// memory, so the program always sends kWorkToolWParam (0) there.
inline constexpr uint64_t kWorkToolWParam = 0;
class AppBus : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.talyx.RgbGamingKeyboard")
public:
    explicit AppBus(QObject* parent = nullptr);
    void SetTarget(MessageTarget* target) { m_target = target; }
    // Decides whether an update report from a process is taken (pid 0: the bus did not
    // say who called). Without a filter no report is taken.
    void SetUpdateReportFilter(std::function<bool(uint32_t pid)> filter) { m_updateFilter = std::move(filter); }
    // Where CopyData calls go, with the caller's unique bus name (the handler checks it).
    void
    SetCopyDataHandler(std::function<void(const QString& sender, uint32_t dwData, const QByteArray& data)> handler) {
        m_copyData = std::move(handler);
    }
    // Exports the object on the session bus. False when there is no bus.
    bool Export();

    // Broadcasts LightClaim(wParam, lParam).
    void BroadcastLightClaim(uint32_t wParam, int64_t lParam);
    // Sends a data block to the "WorkTool" peer, with wParam kWorkToolWParam, if it is on
    // the bus. False when it is not.
    static bool SendToWorkTool(uint32_t dwData, const QByteArray& data);

public slots:
    void Instance(uint wParam, qlonglong lParam);
    void UpdateState(uint wParam, qlonglong lParam);
    void OpenSettings();
    void LightControl(uint wParam, qlonglong lParam);
    void WorkToolQuery();
    void CopyData(uint dwData, qulonglong wParam, const QByteArray& data);
    bool PostMessage(const QString& name, qulonglong wParam, qlonglong lParam);

signals:
    void LightClaim(uint wParam, qlonglong lParam);

private:
    void post(uint32_t msg, WPARAM wParam, LPARAM lParam);
    void updateState(WPARAM wParam, LPARAM lParam);
    MessageTarget* m_target = nullptr;
    std::function<bool(uint32_t)> m_updateFilter;
    std::function<void(const QString&, uint32_t, const QByteArray&)> m_copyData;
};

} // namespace talyx
