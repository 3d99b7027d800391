#pragma once

#include <QDBusContext>
#include <QDBusMessage>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace talyx {

class CDevicePageUI;
class CMainWnd;

// The automation interface on the session bus: what scripts and talyxctl ask of the
// running program. Object kAutomationPath, interface kAutomationInterface (both below);
// docs/dbus.md has the introspection data.
//
// Every method answers (i code, s message, s data): a result code (AutomationResult), a
// message a person can read, and the answer's data as a JSON object ("{}" when there is
// none). The `device` argument names a family ("keyboard", "mouse", "mousepad",
// "headset"); an empty one means the only device that is connected.
//
// Each call runs the same code the window runs for the same action: the profile bar's
// profile operations on the keyboard page's own profile list (so the window's combo
// follows), the key page's assignment store and write job, the lighting and settings
// changes of the keyboard core. Nothing here waits on a device: a call is answered with a
// delayed reply once the device's command worker has done the work, and calls that come
// while the program is still finding its devices wait (on timers) until it has.
class Automation : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.talyx.RgbGamingKeyboard.Automation1")
    // The same as docs/dbus.md shows; the slots below implement it.
    // clang-format off
    Q_CLASSINFO("D-Bus Introspection", ""
        "<interface name=\"org.talyx.RgbGamingKeyboard.Automation1\">\n"
        "  <method name=\"Devices\">\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"Profiles\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"SelectProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"name\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"NewProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"CopyProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"RenameProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"name\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"DeleteProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"ExportProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"path\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"ImportProfile\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"path\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"Lighting\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"SetLighting\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"values\" type=\"a{sv}\" direction=\"in\"/>\n"
        "    <annotation name=\"org.qtproject.QtDBus.QtTypeName.In1\" value=\"QVariantMap\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"KeyAssignments\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"AssignKey\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"key\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"action\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"Settings\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"SetSettings\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"values\" type=\"a{sv}\" direction=\"in\"/>\n"
        "    <annotation name=\"org.qtproject.QtDBus.QtTypeName.In1\" value=\"QVariantMap\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"Apply\">\n"
        "    <arg name=\"device\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "  <method name=\"ApplicationActivated\">\n"
        "    <arg name=\"id\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"windowClass\" type=\"s\" direction=\"in\"/>\n"
        "    <arg name=\"pid\" type=\"u\" direction=\"in\"/>\n"
        "    <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    <arg name=\"message\" type=\"s\" direction=\"out\"/>\n"
        "    <arg name=\"data\" type=\"s\" direction=\"out\"/>\n"
        "  </method>\n"
        "</interface>\n"
    )
    // clang-format on
public:
    enum AutomationResult : int {
        kOk = 0,
        kNoDevice = 1,     // no such device is connected
        kNoPermission = 2, // the device is there but may not be opened
        kBadArgument = 3,  // unknown key, action, profile, mode or value
        kDeviceFailed = 4, // the device did not take what was written
        kNotSupported = 5, // the device has no such function
        kAmbiguous = 6,    // several devices are connected and none was named
        kFailed = 7,       // the operation could not be done (file, list)
    };

    // How long a call waits for the program to find its devices and start their pages.
    static constexpr int kReadyTimeoutMs = 20000;

    explicit Automation(CMainWnd* window = nullptr, QObject* parent = nullptr);
    // The window whose devices and pages the calls use; calls wait while there is none
    // (the object is exported before the program owns its bus name, so that no call
    // delivered at once after the name is taken finds no object).
    void SetWindow(CMainWnd* window) { m_window = window; }
    // Exports the object on the session bus. False when there is no bus.
    bool Export();

    // The family index of a device name, -1 for an unknown name (-2 for the empty name).
    static int FamilyOfName(const QString& name);
    static QString NameOfFamily(int family);

public slots:
    int Devices(QString& message, QString& data);
    int Profiles(const QString& device, QString& message, QString& data);
    int SelectProfile(const QString& device, const QString& name, QString& message, QString& data);
    int NewProfile(const QString& device, QString& message, QString& data);
    int CopyProfile(const QString& device, QString& message, QString& data);
    int RenameProfile(const QString& device, const QString& name, QString& message, QString& data);
    int DeleteProfile(const QString& device, QString& message, QString& data);
    int ExportProfile(const QString& device, const QString& path, QString& message, QString& data);
    int ImportProfile(const QString& device, const QString& path, QString& message, QString& data);
    int Lighting(const QString& device, QString& message, QString& data);
    int SetLighting(const QString& device, const QVariantMap& values, QString& message, QString& data);
    int KeyAssignments(const QString& device, QString& message, QString& data);
    int AssignKey(const QString& device, const QString& key, const QString& action, QString& message, QString& data);
    int Settings(const QString& device, QString& message, QString& data);
    int SetSettings(const QString& device, const QVariantMap& values, QString& message, QString& data);
    int Apply(const QString& device, QString& message, QString& data);
    // A compositor script reports the window in front: its desktop-file id, window class
    // and process. Script engines send the process as whatever number type they have, so
    // int32 and double are taken as well as uint32.
    int ApplicationActivated(const QString& id, const QString& windowClass, uint pid, QString& message, QString& data);
    int ApplicationActivated(const QString& id, const QString& windowClass, int pid, QString& message, QString& data);
    int ApplicationActivated(const QString& id, const QString& windowClass, double pid, QString& message,
                             QString& data);

public:
    // A finished call: sends the reply of a delayed call, or does nothing for a direct
    // (in-process) one.
    using Reply = std::function<void(int code, const QString& message, const QJsonObject& data)>;
    // What a call does once its device is ready.
    using Work = std::function<void(CDevicePageUI* page, const Reply& reply)>;

    // The in-process form of every call: `work` runs once the named device's page has
    // started (or `reply` gets the reason it cannot). Tests and the slots use it.
    void WithDevice(const QString& device, Work work, Reply reply);
    void DevicesNow(const Reply& reply);
    // Where the answers of slots called in-process go (tests); calls from the bus are
    // answered on the bus.
    void SetDirectReply(Reply reply) { m_directReply = std::move(reply); }

private:
    Reply delayedReply();
    // Runs `job` when the device's page is ready, keyboard only.
    void keyboardCall(const QString& device, Work work);
    // Runs `job` when the device's page is ready, for any device with a profile bar.
    void profileCall(const QString& device, Work work);
    void devicesWhenSettled(Reply reply, int waitedMs);
    void waitForReady(const QString& device, int family, Work work, Reply reply, int waitedMs);
    // Replies once every job the device's worker has queued so far has run.
    static void afterQueuedWork(CDevicePageUI* page, std::function<void(int)> then);

    CMainWnd* m_window;
    Reply m_directReply;
};

} // namespace talyx
