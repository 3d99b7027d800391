#include "app/Automation.h"

#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "app/AppLinkSwitcher.h"
#include "app/AutomationActions.h"
#include "app/CDeviceOptionUI.h"
#include "app/CDevicePageUI.h"
#include "app/CMainWnd.h"
#include "app/KeyboardPage.h"
#include "app/ProfileBar.h"
#include "device/CFamilyLightingDevice.h"
#include "device/CKestravaUSBDevice.h"
#include "keyboard/CKestravaKeyboardDevice.h"
#include "keyboard/KeyTables.h"
#include "platform/Debug.h"
#include "platform/Product.h"
#include "profile/ProfileOperations.h"
#include "profile/ProfileTransfer.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

constexpr int kPollMs = 50;
const char* const kFamilyNames[kDeviceTypeCount] = {"mouse", "keyboard", "mousepad", "headset"};

QString automationPath() {
    return QString::fromLatin1(kBusPath) + QStringLiteral("/Automation");
}

QString text(const std::string& key) {
    return CResourceManager::GetInstance().GetText(QString::fromStdString(key));
}

// The profile operations' questions are answered yes (the caller asked for the action);
// their messages become the call's message.
class AutomationPrompt : public IProfilePrompt {
public:
    bool Confirm(const std::string&) override { return true; }
    void ShowMessage(const ProfileMessage& message) override { messages.push_back(message); }
    std::vector<ProfileMessage> messages;
};

bool pageConnected(CDevicePageUI* page) {
    return page && page->Device() && page->Device()->Channel().IsOpen() && page->Selector() &&
           page->Selector()->IsVisible();
}

// The profile bar of a page: the keyboard's is its page half's.
ProfileBar* barOf(CDevicePageUI* page) {
    if (!page)
        return nullptr;
    return page->Keyboard() ? page->Keyboard()->Bar() : page->Profiles();
}

CKestravaKeyboardDevice* keyboardOf(CDevicePageUI* page) {
    return page && page->Keyboard() ? dynamic_cast<CKestravaKeyboardDevice*>(page->Device()) : nullptr;
}

QJsonObject profilesOf(ProfileList& list) {
    QJsonArray names;
    for (const std::string& n : list.Names())
        names.append(QString::fromStdString(n));
    QJsonObject out;
    out[QStringLiteral("profiles")] = names;
    out[QStringLiteral("selected")] = list.Selected();
    out[QStringLiteral("selectedName")] =
        list.Selected() >= 0 && list.Selected() < list.ItemCount()
            ? QString::fromStdString(list.Names()[static_cast<size_t>(list.Selected())])
            : QString();
    return out;
}

QString applyFailure(int answer) {
    if (answer == -1)
        return QStringLiteral("the profile could not be loaded or its macros could not be built");
    return QStringLiteral("the profile's macros do not fit the keyboard's memory (%1 bytes over)").arg(answer);
}

QString channelFailure(int result) {
    return QStringLiteral("the device did not take the change (result %1)").arg(result);
}

QJsonObject lightingOf(const LightInfo& l, const std::vector<PresetLightMode>& presets) {
    QJsonObject out;
    out[QStringLiteral("mode")] = l.selectItem;
    out[QStringLiteral("modeName")] =
        l.selectItem < presets.size() ? QString::fromStdString(LightModeWord(presets[l.selectItem])) : QString();
    out[QStringLiteral("brightness")] = l.light;
    out[QStringLiteral("speed")] = l.speed;
    out[QStringLiteral("direction")] = l.fx;
    out[QStringLiteral("sevenColour")] = l.multiColor;
    out[QStringLiteral("colour")] = QStringLiteral("%1%2%3")
                                        .arg(l.red, 2, 16, QLatin1Char('0'))
                                        .arg(l.green, 2, 16, QLatin1Char('0'))
                                        .arg(l.blue, 2, 16, QLatin1Char('0'))
                                        .toUpper();
    QJsonArray modes;
    for (size_t i = 0; i < presets.size(); ++i) {
        if (!presets[i].visible)
            continue;
        QJsonObject m;
        m[QStringLiteral("number")] = static_cast<int>(i);
        m[QStringLiteral("name")] = QString::fromStdString(LightModeWord(presets[i]));
        m[QStringLiteral("text")] = text(presets[i].name);
        modes.append(m);
    }
    out[QStringLiteral("modes")] = modes;
    return out;
}

QJsonObject settingsOf(const KeyboardSettings& s) {
    QJsonObject out;
    out[QStringLiteral("reportRate")] = ReportRateHz(s.pollingRate);
    out[QStringLiteral("repeatRate")] = s.repeat;
    out[QStringLiteral("repeatDelay")] = RepeatDelayMs(s.repeatDelay);
    out[QStringLiteral("winLock")] = s.winFlag != 0;
    return out;
}

// A number argument of a{sv}: false when it is missing; `ok` false when it is not a
// whole number in [low, high].
bool numberArg(const QVariantMap& values, const char* name, int low, int high, int& out, bool& ok) {
    const auto it = values.find(QString::fromLatin1(name));
    if (it == values.end())
        return false;
    bool isNumber = false;
    const qlonglong v = it->toLongLong(&isNumber);
    if (!isNumber || v < low || v > high) {
        ok = false;
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

} // namespace

Automation::Automation(CMainWnd* window, QObject* parent) : QObject(parent), m_window(window) {}

bool Automation::Export() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    return bus.registerObject(automationPath(), this, QDBusConnection::ExportAllSlots);
}

int Automation::FamilyOfName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n.isEmpty())
        return -2;
    for (int f = 0; f < kDeviceTypeCount; ++f)
        if (n == QLatin1String(kFamilyNames[f]))
            return f;
    return -1;
}

QString Automation::NameOfFamily(int family) {
    return family >= 0 && family < kDeviceTypeCount ? QString::fromLatin1(kFamilyNames[family]) : QString();
}

Automation::Reply Automation::delayedReply() {
    if (!calledFromDBus())
        return m_directReply ? m_directReply : [](int, const QString&, const QJsonObject&) {};
    setDelayedReply(true);
    QDBusMessage call = message();
    QDBusConnection bus = connection();
    return [call, bus](int code, const QString& text, const QJsonObject& data) mutable {
        bus.send(call.createReply({code, text, QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact))}));
    };
}

void Automation::afterQueuedWork(CDevicePageUI* page, std::function<void(int)> then) {
    // The worker runs its jobs in order: this one's handler comes after every job queued
    // before it has finished.
    page->Device()->Commands().Post(
        "automation", DeviceCommandWorker::kNoMerge, [](CommandContext&) { return kResultSuccess; }, std::move(then));
}

void Automation::WithDevice(const QString& device, Work work, Reply reply) {
    const int family = FamilyOfName(device);
    if (family == -1) {
        reply(kBadArgument, QStringLiteral("unknown device '%1' (keyboard, mouse, mousepad or headset)").arg(device),
              {});
        return;
    }
    waitForReady(device, family, std::move(work), std::move(reply), 0);
}

void Automation::waitForReady(const QString& device, int family, Work work, Reply reply, int waitedMs) {
    auto again = [this, device, family, work, reply, waitedMs] {
        QTimer::singleShot(kPollMs, this, [this, device, family, work, reply, waitedMs] {
            waitForReady(device, family, work, reply, waitedMs + kPollMs);
        });
    };
    const bool timedOut = waitedMs >= kReadyTimeoutMs;
    if ((!m_window || !m_window->ScanPassed()) && !timedOut)
        return again();
    if (!m_window) {
        reply(kFailed, QStringLiteral("the program is not ready"), {});
        return;
    }
    std::vector<CDevicePageUI*> found;
    for (int f = 0; f < kDeviceTypeCount; ++f) {
        if (family >= 0 && f != family)
            continue;
        for (CDevicePageUI* page : m_window->Pages(f))
            if (pageConnected(page))
                found.push_back(page);
    }
    if (found.empty()) {
        // A just-plugged device may still be arriving; a device we may not open says so.
        if (!m_window->Table().InaccessibleDevices().empty()) {
            QStringList nodes;
            for (const InaccessibleDevice& d : m_window->Table().InaccessibleDevices())
                nodes << QString::fromStdString(d.node);
            reply(kNoPermission,
                  QStringLiteral("no permission to open %1; install the udev rule of the program and plug the "
                                 "device in again")
                      .arg(nodes.join(QStringLiteral(", "))),
                  {});
            return;
        }
        if (waitedMs < 500 && !timedOut)
            return again();
        reply(kNoDevice,
              family >= 0 ? QStringLiteral("no %1 is connected").arg(NameOfFamily(family))
                          : QStringLiteral("no device is connected"),
              {});
        return;
    }
    QList<int> families;
    for (CDevicePageUI* page : found)
        if (!families.contains(page->Family()))
            families << page->Family();
    if (family < 0 && families.size() > 1) {
        QStringList names;
        for (int f : families)
            names << NameOfFamily(f);
        reply(kAmbiguous,
              QStringLiteral("more than one device is connected (%1); name one with --device").arg(names.join(", ")),
              {});
        return;
    }
    CDevicePageUI* page = found.front();
    if (!page->IsStarted()) {
        if (!timedOut)
            return again();
        reply(kDeviceFailed, QStringLiteral("the %1 did not finish starting").arg(NameOfFamily(page->Family())), {});
        return;
    }
    work(page, reply);
}

void Automation::keyboardCall(const QString& device, Work work) {
    Reply reply = delayedReply();
    WithDevice(
        device,
        [work = std::move(work)](CDevicePageUI* page, const Reply& reply) {
            if (!keyboardOf(page)) {
                reply(kNotSupported,
                      QStringLiteral("the %1 has no key assignments or system settings")
                          .arg(NameOfFamily(page->Family())),
                      {});
                return;
            }
            work(page, reply);
        },
        reply);
}

void Automation::profileCall(const QString& device, Work work) {
    Reply reply = delayedReply();
    WithDevice(
        device,
        [work = std::move(work)](CDevicePageUI* page, const Reply& reply) {
            if (!barOf(page)) {
                reply(kNotSupported, QStringLiteral("the %1 has no profiles").arg(NameOfFamily(page->Family())), {});
                return;
            }
            work(page, reply);
        },
        reply);
}

// ---- devices

void Automation::DevicesNow(const Reply& reply) {
    QJsonArray devices;
    for (int f = 0; f < kDeviceTypeCount; ++f) {
        for (CDevicePageUI* page : m_window->Pages(f)) {
            CKestravaUSBDevice* device = page ? page->Device() : nullptr;
            if (!device || !device->Channel().IsOpen())
                continue;
            DeviceChannel& channel = device->Channel();
            const bool receiver = channel.IsWireless();
            QJsonObject d;
            d[QStringLiteral("family")] = NameOfFamily(f);
            d[QStringLiteral("form")] = receiver ? QStringLiteral("receiver") : QStringLiteral("wired");
            const uint16_t version =
                (receiver ? channel.InterfaceB() : channel.InterfaceA()).Attributes().versionNumber;
            d[QStringLiteral("firmware")] = QStringLiteral("V%1").arg(version, 4, 16, QLatin1Char('0'));
            QString state = QStringLiteral("ready");
            if (!page->Selector() || !page->Selector()->IsVisible())
                state = QStringLiteral("offline");
            else if (!page->IsStarted())
                state = QStringLiteral("starting");
            d[QStringLiteral("state")] = state;
            devices.append(d);
        }
    }
    for (const InaccessibleDevice& d : m_window->Table().InaccessibleDevices()) {
        QJsonObject o;
        o[QStringLiteral("family")] = QString();
        o[QStringLiteral("node")] = QString::fromStdString(d.node);
        o[QStringLiteral("state")] = QStringLiteral("no-permission");
        if (d.row >= 0 && static_cast<size_t>(d.row) < m_window->Table().Size()) {
            const uint16_t code = m_window->Table().Entry(static_cast<size_t>(d.row)).productCode;
            const bool keyboard = code == kCodeKeyboard || code == kCodeKeyboardReceiver;
            const bool mouse = code == kCodeMouse || code == kCodeMouseReceiver;
            o[QStringLiteral("family")] = keyboard                ? QStringLiteral("keyboard")
                                          : mouse                 ? QStringLiteral("mouse")
                                          : code == kCodeMousePad ? QStringLiteral("mousepad")
                                          : code == kCodeHeadset  ? QStringLiteral("headset")
                                                                  : QString();
            o[QStringLiteral("form")] = IsReceiverCode(code) ? QStringLiteral("receiver") : QStringLiteral("wired");
        }
        devices.append(o);
    }
    QJsonObject data;
    data[QStringLiteral("devices")] = devices;
    int connected = 0;
    for (const auto& d : devices)
        connected += d.toObject()[QStringLiteral("state")].toString() != QLatin1String("no-permission");
    if (connected == 0 && !m_window->Table().InaccessibleDevices().empty()) {
        reply(kNoPermission,
              QStringLiteral("a supported device is connected but may not be opened; install the udev rule of "
                             "the program and plug it in again"),
              data);
        return;
    }
    reply(kOk,
          connected ? QStringLiteral("%1 device(s) connected").arg(connected)
                    : QStringLiteral("no device is connected"),
          data);
}

int Automation::Devices(QString&, QString&) {
    devicesWhenSettled(delayedReply(), 0);
    return 0;
}

void Automation::devicesWhenSettled(Reply reply, int waitedMs) {
    // The first look at the bus, then the devices it found starting up.
    bool starting = !m_window || !m_window->ScanPassed();
    for (int f = 0; f < kDeviceTypeCount && !starting; ++f)
        for (CDevicePageUI* page : m_window->Pages(f))
            if (pageConnected(page) && !page->IsStarted())
                starting = true;
    if (starting && waitedMs < kReadyTimeoutMs) {
        QTimer::singleShot(kPollMs, this, [this, reply, waitedMs] { devicesWhenSettled(reply, waitedMs + kPollMs); });
        return;
    }
    if (m_window)
        DevicesNow(reply);
    else
        reply(kFailed, QStringLiteral("the program is not ready"), {});
}

// ---- profiles

int Automation::Profiles(const QString& device, QString&, QString&) {
    profileCall(device, [](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        reply(kOk, QStringLiteral("%1 profile(s)").arg(list.ItemCount()), profilesOf(list));
    });
    return 0;
}

// Replies once the device has taken the selected profile (the write the operation posted).
static void replyAfterApply(CDevicePageUI* page, int answer, const QString& done, const Automation::Reply& reply) {
    ProfileList& list = barOf(page)->Profiles();
    if (answer != 0) {
        reply(Automation::kDeviceFailed, applyFailure(answer), profilesOf(list));
        return;
    }
    QPointer<CDevicePageUI> guard(page);
    Automation::Reply r = reply;
    page->Device()->Commands().Post(
        "automation", DeviceCommandWorker::kNoMerge, [](CommandContext&) { return kResultSuccess; },
        [guard, done, r](int) {
            if (!guard || !guard->Device()->Channel().IsOpen()) {
                r(Automation::kDeviceFailed, QStringLiteral("the device went away before it took the profile"), {});
                return;
            }
            r(Automation::kOk, done, profilesOf(barOf(guard)->Profiles()));
        });
}

int Automation::SelectProfile(const QString& device, const QString& name, QString&, QString&) {
    profileCall(device, [name](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        int index = -1;
        for (int i = 0; i < list.ItemCount() && index < 0; ++i)
            if (QString::fromStdString(list.Names()[static_cast<size_t>(i)])
                    .compare(name.trimmed(), Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0) {
            reply(kBadArgument, QStringLiteral("no profile named '%1'").arg(name), profilesOf(list));
            return;
        }
        AutomationPrompt prompt;
        const int answer = barOf(page)->Switch(index, prompt);
        replyAfterApply(page, answer, QStringLiteral("profile '%1' selected").arg(name.trimmed()), reply);
    });
    return 0;
}

int Automation::NewProfile(const QString& device, QString&, QString&) {
    profileCall(device, [](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        AutomationPrompt prompt;
        if (!barOf(page)->New(prompt)) {
            reply(kFailed,
                  list.ItemCount() >= ProfileList::kMaxProfiles
                      ? QStringLiteral("there are already %1 profiles").arg(ProfileList::kMaxProfiles)
                      : QStringLiteral("the profile could not be made"),
                  profilesOf(list));
            return;
        }
        const int answer =
            prompt.messages.empty() ? 0 : (prompt.messages.front().hasValue ? prompt.messages.front().value : -1);
        replyAfterApply(page, answer,
                        QStringLiteral("profile '%1' made and selected")
                            .arg(QString::fromStdString(list.Names()[static_cast<size_t>(list.Selected())])),
                        reply);
    });
    return 0;
}

int Automation::CopyProfile(const QString& device, QString&, QString&) {
    profileCall(device, [](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        AutomationPrompt prompt;
        if (!barOf(page)->Copy(prompt)) {
            reply(kFailed, QStringLiteral("the profile could not be copied"), profilesOf(list));
            return;
        }
        reply(kOk, QStringLiteral("profile copied as '%1'").arg(QString::fromStdString(list.Names().back())),
              profilesOf(list));
    });
    return 0;
}

int Automation::RenameProfile(const QString& device, const QString& name, QString&, QString&) {
    profileCall(device, [name](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        AutomationPrompt prompt;
        switch (barOf(page)->Rename(name.toStdString(), prompt)) {
        case ProfileList::kRenamed:
            page->refreshPage();
            reply(kOk, QStringLiteral("profile renamed to '%1'").arg(name.trimmed()), profilesOf(list));
            return;
        case ProfileList::kRenameNameInUse:
            reply(kBadArgument, QStringLiteral("a profile named '%1' exists already").arg(name.trimmed()),
                  profilesOf(list));
            return;
        case ProfileList::kRenameEmpty:
            reply(kBadArgument, QStringLiteral("a profile name cannot be empty"), profilesOf(list));
            return;
        default:
            reply(kBadArgument,
                  name.isEmpty() ? QStringLiteral("a profile name cannot be empty")
                                 : QStringLiteral("no profile is selected"),
                  profilesOf(list));
        }
    });
    return 0;
}

int Automation::DeleteProfile(const QString& device, QString&, QString&) {
    profileCall(device, [](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        if (list.ItemCount() <= 1) {
            reply(kFailed, QStringLiteral("the last profile cannot be deleted"), profilesOf(list));
            return;
        }
        const QString gone = QString::fromStdString(list.Names()[static_cast<size_t>(list.Selected())]);
        AutomationPrompt prompt;
        if (!barOf(page)->Delete(prompt)) {
            reply(kFailed, QStringLiteral("the profile could not be deleted"), profilesOf(list));
            return;
        }
        const int answer =
            prompt.messages.empty() ? 0 : (prompt.messages.front().hasValue ? prompt.messages.front().value : -1);
        replyAfterApply(page, answer, QStringLiteral("profile '%1' deleted").arg(gone), reply);
    });
    return 0;
}

int Automation::ExportProfile(const QString& device, const QString& path, QString&, QString&) {
    profileCall(device, [path](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        if (path.isEmpty() || QFileInfo(path).isRelative()) {
            reply(kBadArgument, QStringLiteral("the export needs an absolute file path"), {});
            return;
        }
        if (QFileInfo(path).isDir()) {
            reply(kBadArgument, QStringLiteral("'%1' is a folder").arg(path), {});
            return;
        }
        if (!barOf(page)->Export(QDir::cleanPath(path))) {
            reply(kFailed, QStringLiteral("the profile could not be written to '%1'").arg(path), profilesOf(list));
            return;
        }
        reply(kOk, QStringLiteral("profile exported to '%1'").arg(path), profilesOf(list));
    });
    return 0;
}

int Automation::ImportProfile(const QString& device, const QString& path, QString&, QString&) {
    profileCall(device, [path](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        if (path.isEmpty() || QFileInfo(path).isRelative()) {
            reply(kBadArgument, QStringLiteral("the import needs an absolute file path"), {});
            return;
        }
        if (!QFileInfo(path).isFile()) {
            reply(kBadArgument, QStringLiteral("there is no file '%1'").arg(path), {});
            return;
        }
        if (!barOf(page)->Import(QDir::cleanPath(path))) {
            reply(kBadArgument, QStringLiteral("'%1' is not a profile that can be imported").arg(path),
                  profilesOf(list));
            return;
        }
        reply(kOk, QStringLiteral("profile imported as '%1'").arg(QString::fromStdString(list.Names().back())),
              profilesOf(list));
    });
    return 0;
}

int Automation::Apply(const QString& device, QString&, QString&) {
    profileCall(device, [](CDevicePageUI* page, const Reply& reply) {
        ProfileList& list = barOf(page)->Profiles();
        // As the profile bar's switch to the profile that is selected.
        AutomationPrompt prompt;
        const int answer = barOf(page)->Switch(list.Selected(), prompt);
        replyAfterApply(page, answer,
                        QStringLiteral("profile '%1' written to the device")
                            .arg(QString::fromStdString(list.Names()[static_cast<size_t>(list.Selected())])),
                        reply);
    });
    return 0;
}

// ---- key assignments

int Automation::KeyAssignments(const QString& device, QString&, QString&) {
    keyboardCall(device, [](CDevicePageUI* page, const Reply& reply) {
        CKestravaKeyboardDevice* keyboard = keyboardOf(page);
        const KeyList& keys = keyboard->Profile().CachedKeyList();
        const KeySlotMaps maps = keyboard->SlotMaps();
        QJsonArray out;
        for (int slot = 0; slot < kWrittenKeySlots && static_cast<size_t>(slot) < keys.size(); ++slot) {
            const std::string name = KeyNameOfSlot(slot);
            if (name.empty() || (keyboard->HasKeyTable() && maps.keyMap[static_cast<size_t>(slot)] == kNoDeviceKey))
                continue;
            QJsonObject k;
            k[QStringLiteral("key")] = QString::fromStdString(name);
            k[QStringLiteral("slot")] = slot;
            k[QStringLiteral("action")] =
                QString::fromStdString(KeyActionName(keys[static_cast<size_t>(slot)].code(), keyboard->MacroNames()));
            k[QStringLiteral("code")] = static_cast<qint64>(keys[static_cast<size_t>(slot)].code() & 0xFFFFFF);
            k[QStringLiteral("default")] =
                keys[static_cast<size_t>(slot)].code() == keys[static_cast<size_t>(slot)].defaultCode();
            out.append(k);
        }
        QJsonObject data;
        data[QStringLiteral("keys")] = out;
        reply(kOk, QStringLiteral("%1 key(s)").arg(out.size()), data);
    });
    return 0;
}

int Automation::AssignKey(const QString& device, const QString& key, const QString& action, QString&, QString&) {
    keyboardCall(device, [key, action](CDevicePageUI* page, const Reply& reply) {
        CKestravaKeyboardDevice* keyboard = keyboardOf(page);
        const int slot = KeySlotOfName(key.toStdString());
        const KeyList& keys = keyboard->Profile().CachedKeyList();
        if (slot < 0 || static_cast<size_t>(slot) >= keys.size() ||
            (keyboard->HasKeyTable() && keyboard->SlotMaps().keyMap[static_cast<size_t>(slot)] == kNoDeviceKey)) {
            reply(kBadArgument, QStringLiteral("the keyboard has no key '%1'").arg(key), {});
            return;
        }
        const KeyRecord& record = keys[static_cast<size_t>(slot)];
        uint32_t code = 0;
        std::string error;
        if (!ParseKeyAction(action.toStdString(), record.code(), record.defaultCode(), keyboard->MacroNames(), code,
                            error)) {
            reply(kBadArgument, QString::fromStdString(error), {});
            return;
        }
        // As the key page does: the key is selected, the code stored into the profile and
        // the key page's write sends the macro image and the assignment block.
        keyboard->SelectSlot(slot);
        if (!page->Keyboard()->storeAssignment(code)) {
            reply(kFailed, QStringLiteral("the assignment could not be stored"), {});
            return;
        }
        page->Keyboard()->assignmentsChanged();
        page->refreshPage();
        const QString name = QString::fromStdString(KeyNameOfSlot(slot));
        const QString words = QString::fromStdString(KeyActionName(code, keyboard->MacroNames()));
        QPointer<CDevicePageUI> guard(page);
        page->Keyboard()->writeToKeyboard([guard, reply, name, words, code](int macros, int result) {
            QJsonObject data;
            data[QStringLiteral("key")] = name;
            data[QStringLiteral("action")] = words;
            data[QStringLiteral("code")] = static_cast<qint64>(code);
            if (macros != 0) {
                reply(kDeviceFailed, applyFailure(macros), data);
                return;
            }
            if (result != kResultSuccess) {
                reply(kDeviceFailed, channelFailure(result), data);
                return;
            }
            reply(kOk, QStringLiteral("%1 now does %2").arg(name, words), data);
        });
    });
    return 0;
}

// ---- lighting

int Automation::Lighting(const QString& device, QString&, QString&) {
    Reply reply = delayedReply();
    WithDevice(
        device,
        [](CDevicePageUI* page, const Reply& reply) {
            if (CKestravaKeyboardDevice* keyboard = keyboardOf(page)) {
                reply(kOk, QStringLiteral("lighting of the keyboard"),
                      lightingOf(keyboard->CurrentLightInfo(), keyboard->PresetModes()));
            } else if (auto* lit = dynamic_cast<CFamilyLightingDevice*>(page->Device())) {
                reply(kOk, QStringLiteral("lighting of the %1").arg(NameOfFamily(page->Family())),
                      lightingOf(lit->CurrentLightInfo(), lit->PresetModes()));
            } else {
                reply(kNotSupported, QStringLiteral("the device has no lighting"), {});
            }
        },
        reply);
    return 0;
}

int Automation::SetLighting(const QString& device, const QVariantMap& values, QString&, QString&) {
    Reply reply = delayedReply();
    WithDevice(
        device,
        [values](CDevicePageUI* page, const Reply& reply) {
            CKestravaKeyboardDevice* keyboard = keyboardOf(page);
            auto* lit = keyboard ? nullptr : dynamic_cast<CFamilyLightingDevice*>(page->Device());
            if (!keyboard && !lit) {
                reply(kNotSupported, QStringLiteral("the device has no lighting"), {});
                return;
            }
            LightInfo light = keyboard ? keyboard->CurrentLightInfo() : lit->CurrentLightInfo();
            const std::vector<PresetLightMode> presets = keyboard ? keyboard->PresetModes() : lit->PresetModes();
            for (auto it = values.begin(); it != values.end(); ++it) {
                static const QStringList kKnown = {"mode", "brightness", "speed", "direction", "colour", "sevenColour"};
                if (!kKnown.contains(it.key())) {
                    reply(kBadArgument, QStringLiteral("unknown lighting value '%1'").arg(it.key()), {});
                    return;
                }
            }
            if (values.contains(QStringLiteral("mode"))) {
                std::vector<std::string> shown;
                for (const PresetLightMode& p : presets)
                    shown.push_back(text(p.name).toStdString());
                const QString mode = values.value(QStringLiteral("mode")).toString();
                const int index = LightModeOfName(mode.toStdString(), presets, shown);
                if (index < 0 || index > 0xFF) {
                    reply(kBadArgument, QStringLiteral("unknown lighting mode '%1'").arg(mode), {});
                    return;
                }
                light.selectItem = static_cast<uint8_t>(index);
            }
            if (values.contains(QStringLiteral("colour"))) {
                const QString colour = values.value(QStringLiteral("colour")).toString();
                if (!ParseColour(colour.toStdString(), light.red, light.green, light.blue)) {
                    reply(kBadArgument, QStringLiteral("bad colour '%1' (RRGGBB)").arg(colour), {});
                    return;
                }
                // As on the lighting page: a chosen colour ends the colour cycle (unless
                // the same call turns it on again).
                light.multiColor = 0;
            }
            struct Field {
                const char* name;
                int high;
                uint8_t* target;
            } fields[] = {{"brightness", 4, &light.light},
                          {"speed", 4, &light.speed},
                          {"direction", 1, &light.fx},
                          {"sevenColour", 1, &light.multiColor}};
            for (const Field& f : fields) {
                bool ok = true;
                int v = 0;
                if (numberArg(values, f.name, 0, f.high, v, ok))
                    *f.target = static_cast<uint8_t>(v);
                if (!ok) {
                    reply(kBadArgument, QStringLiteral("%1 must be 0 to %2").arg(QLatin1String(f.name)).arg(f.high),
                          {});
                    return;
                }
            }
            // As the lighting page's change: the device leaves synchronised lighting, takes
            // the record (stored, saved, sent) and the page shows it.
            page->Device()->SetLightSynchronised(false);
            QPointer<CDevicePageUI> guard(page);
            const QString name = NameOfFamily(page->Family());
            page->ChangeLighting(light, [guard, reply, presets, name](int result) {
                if (!guard)
                    return reply(kDeviceFailed, QStringLiteral("the %1 went away").arg(name), {});
                const QJsonObject data = lightingOf(guard->CurrentLighting(), presets);
                if (result != kResultSuccess)
                    return reply(kDeviceFailed, channelFailure(result), data);
                reply(kOk, QStringLiteral("lighting of the %1 changed").arg(name), data);
            });
            page->RefreshLighting();
        },
        reply);
    return 0;
}

// ---- settings

int Automation::Settings(const QString& device, QString&, QString&) {
    keyboardCall(device, [](CDevicePageUI* page, const Reply& reply) {
        reply(kOk, QStringLiteral("settings of the keyboard"), settingsOf(keyboardOf(page)->CurrentSettings()));
    });
    return 0;
}

int Automation::SetSettings(const QString& device, const QVariantMap& values, QString&, QString&) {
    keyboardCall(device, [values](CDevicePageUI* page, const Reply& reply) {
        std::vector<std::pair<SettingControl, int>> changes;
        for (auto it = values.begin(); it != values.end(); ++it) {
            SettingControl control;
            int value = 0;
            std::string error;
            if (!ParseSettingValue(it.key().toStdString(), it.value().toString().toStdString(), control, value,
                                   error)) {
                reply(kBadArgument, QString::fromStdString(error), {});
                return;
            }
            changes.emplace_back(control, value);
        }
        if (changes.empty()) {
            reply(kBadArgument, QStringLiteral("no setting given"), {});
            return;
        }
        CKestravaKeyboardDevice* keyboard = keyboardOf(page);
        // Each change as the settings tab makes it; the reply comes when the last one
        // the keyboard takes is done, with the first failure if any.
        auto firstFailure = std::make_shared<int>(kResultSuccess);
        for (const auto& [control, value] : changes)
            keyboard->ChangeSetting(control, value, [firstFailure](int result) {
                if (*firstFailure == kResultSuccess && result != kResultSuccess)
                    *firstFailure = result;
            });
        page->refreshPage();
        QPointer<CDevicePageUI> guard(page);
        afterQueuedWork(page, [guard, reply, firstFailure](int) {
            if (!guard)
                return reply(kDeviceFailed, QStringLiteral("the keyboard went away"), {});
            const QJsonObject data = settingsOf(keyboardOf(guard)->CurrentSettings());
            if (*firstFailure != kResultSuccess)
                return reply(kDeviceFailed, channelFailure(*firstFailure), data);
            reply(kOk, QStringLiteral("settings of the keyboard changed"), data);
        });
    });
    return 0;
}

// ---- the application in front

namespace {

// What a script may report: short, printable text.
bool reportedText(const QString& s) {
    if (s.size() > 256)
        return false;
    for (QChar c : s)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

} // namespace

int Automation::ApplicationActivated(const QString& id, const QString& windowClass, uint pid, QString&, QString&) {
    const Reply reply = delayedReply();
    if (!reportedText(id) || !reportedText(windowClass)) {
        reply(kBadArgument, QStringLiteral("the id and the window class must be printable and at most 256 characters"),
              {});
        return 0;
    }
    AppLinkSwitcher* follower = m_window ? m_window->Follower() : nullptr;
    if (!follower) {
        reply(kFailed, QStringLiteral("the program is not ready"), {});
        return 0;
    }
    FocusedApplication app;
    app.id = id.trimmed().toStdString();
    app.windowClass = windowClass.trimmed().toStdString();
    app.pid = pid;
    QJsonObject data;
    data[QStringLiteral("source")] = follower->SourceName();
    if (!follower->Report(app)) {
        reply(kNotSupported,
              follower->HasSource()
                  ? QStringLiteral("this session's windows are followed through %1; reports are not used")
                        .arg(follower->SourceName())
                  : QStringLiteral("this session is not one whose compositor scripts report the window in front"),
              data);
        return 0;
    }
    data[QStringLiteral("application")] = QString::fromStdString(follower->Catalog().LinkNameOf(app));
    reply(kOk, QStringLiteral("noted"), data);
    return 0;
}

int Automation::ApplicationActivated(const QString& id, const QString& windowClass, int pid, QString& message,
                                     QString& data) {
    return ApplicationActivated(id, windowClass, pid > 0 ? static_cast<uint>(pid) : 0u, message, data);
}

int Automation::ApplicationActivated(const QString& id, const QString& windowClass, double pid, QString& message,
                                     QString& data) {
    const uint whole = pid >= 1 && pid <= 4294967295.0 ? static_cast<uint>(pid) : 0u;
    return ApplicationActivated(id, windowClass, whole, message, data);
}

} // namespace talyx
