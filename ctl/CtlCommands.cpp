#include "ctl/CtlCommands.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QVariantMap>

namespace talyx::ctl {
namespace {

const QStringList kDevices = {"keyboard", "mouse", "mousepad", "headset"};

// Options of `lighting` and `settings`: the option, the key of the a{sv} argument.
struct ValueOption {
    const char* option;
    const char* key;
};
const ValueOption kLightingOptions[] = {{"--mode", "mode"},
                                        {"--brightness", "brightness"},
                                        {"--speed", "speed"},
                                        {"--direction", "direction"},
                                        {"--colour", "colour"},
                                        {"--color", "colour"},
                                        {"--seven-colour", "sevenColour"}};
const ValueOption kSettingOptions[] = {{"--report-rate", "report-rate"},
                                       {"--repeat-rate", "repeat-rate"},
                                       {"--repeat-delay", "repeat-delay"},
                                       {"--win-lock", "win-lock"}};

// "--name value" or "--name=value" at args[i]; advances i past what it took.
template <size_t N>
bool takeValues(const QStringList& args, const ValueOption (&options)[N], bool numbersOnly, QVariantMap& out,
                QString& error) {
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool hasValue = false;
        if (const int eq = name.indexOf('='); name.startsWith("--") && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        const ValueOption* found = nullptr;
        for (const ValueOption& o : options)
            if (name == QLatin1String(o.option))
                found = &o;
        if (!found) {
            error = QStringLiteral("unknown option '%1'").arg(args[i]);
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = args[++i];
        }
        const QString key = QString::fromLatin1(found->key);
        bool isNumber = false;
        const int number = value.toInt(&isNumber);
        if (numbersOnly && key != QLatin1String("mode") && key != QLatin1String("colour")) {
            if (!isNumber) {
                error = QStringLiteral("%1 takes a number, not '%2'").arg(name, value);
                return false;
            }
            out.insert(key, number);
        } else {
            out.insert(key, value);
        }
    }
    return true;
}

QString absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QString UsageText() {
    return QStringLiteral("Usage: talyxctl [--json] [--device keyboard|mouse|mousepad|headset] COMMAND\n"
                          "\n"
                          "Commands:\n"
                          "  devices                       the connected devices\n"
                          "  profiles                      the profiles, the selected one marked\n"
                          "  profile select NAME           select a profile and write it to the device\n"
                          "  profile new                   make a profile and select it\n"
                          "  profile copy                  copy the selected profile\n"
                          "  profile rename NAME           rename the selected profile\n"
                          "  profile delete                delete the selected profile\n"
                          "  profile export FILE           write the selected profile to a file\n"
                          "  profile import FILE           add the profile in a file\n"
                          "  lighting [--mode NAME|NUMBER] [--brightness 0-4] [--speed 0-4]\n"
                          "           [--direction 0|1] [--colour RRGGBB] [--seven-colour 0|1]\n"
                          "                                show or change the lighting\n"
                          "  assign KEY ACTION             give a key an action: key:B, key:Ctrl+C, mouse:right,\n"
                          "                                media:play-pause, system:sleep, macro:NAME, disabled,\n"
                          "                                default\n"
                          "  assignments                   what every key does\n"
                          "  settings [--report-rate 125|250|500|1000] [--repeat-rate 0-31]\n"
                          "           [--repeat-delay 250|500|750|1000] [--win-lock on|off]\n"
                          "                                show or change the system settings\n"
                          "  apply                         write the selected profile to the device again\n"
                          "\n"
                          "Options:\n"
                          "  --json                        print the answer as JSON\n"
                          "  --device NAME                 the device, when more than one is connected\n"
                          "  --help, --version\n"
                          "\n"
                          "Exit status: 0 done, 1 failed (the message says why), 2 bad usage.\n");
}

bool ParseArguments(const QStringList& argsIn, Invocation& out, QString& error) {
    QStringList args;
    for (int i = 0; i < argsIn.size(); ++i) {
        const QString& a = argsIn[i];
        if (a == QLatin1String("--json")) {
            out.json = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out.help = true;
        } else if (a == QLatin1String("--version")) {
            out.version = true;
        } else if (a == QLatin1String("--device") || a.startsWith(QLatin1String("--device="))) {
            QString value;
            if (a.startsWith(QLatin1String("--device=")))
                value = a.mid(9);
            else if (i + 1 < argsIn.size())
                value = argsIn[++i];
            else {
                error = QStringLiteral("--device needs a value");
                return false;
            }
            if (!kDevices.contains(value)) {
                error = QStringLiteral("unknown device '%1' (keyboard, mouse, mousepad or headset)").arg(value);
                return false;
            }
            out.device = value;
        } else {
            args << a;
        }
    }
    if (out.help || out.version)
        return true;
    if (args.isEmpty()) {
        error = QStringLiteral("no command given");
        return false;
    }
    const QString command = args.takeFirst();
    out.command = command;
    auto exactly = [&](int n, const char* what) {
        if (args.size() == n)
            return true;
        error = args.size() < n ? QStringLiteral("'%1' needs %2").arg(out.command, QLatin1String(what))
                                : QStringLiteral("too many arguments for '%1'").arg(out.command);
        return false;
    };
    if (command == QLatin1String("devices") || command == QLatin1String("profiles") ||
        command == QLatin1String("apply") || command == QLatin1String("assignments")) {
        static const QMap<QString, QString> kMethods = {
            {"devices", "Devices"}, {"profiles", "Profiles"}, {"apply", "Apply"}, {"assignments", "KeyAssignments"}};
        out.method = kMethods.value(command);
        return exactly(0, "");
    }
    if (command == QLatin1String("profile")) {
        if (args.isEmpty()) {
            error = QStringLiteral("'profile' needs one of select, new, copy, rename, delete, export, import");
            return false;
        }
        const QString sub = args.takeFirst();
        out.command = QStringLiteral("profile ") + sub;
        if (sub == QLatin1String("new") || sub == QLatin1String("copy") || sub == QLatin1String("delete")) {
            out.method = sub == QLatin1String("new")    ? "NewProfile"
                         : sub == QLatin1String("copy") ? "CopyProfile"
                                                        : "DeleteProfile";
            return exactly(0, "");
        }
        if (sub == QLatin1String("select") || sub == QLatin1String("rename")) {
            out.method = sub == QLatin1String("select") ? "SelectProfile" : "RenameProfile";
            if (!exactly(1, "a profile name"))
                return false;
            out.arguments << args[0];
            return true;
        }
        if (sub == QLatin1String("export") || sub == QLatin1String("import")) {
            out.method = sub == QLatin1String("export") ? "ExportProfile" : "ImportProfile";
            if (!exactly(1, "a file"))
                return false;
            out.arguments << absolute(args[0]);
            return true;
        }
        error = QStringLiteral("unknown profile command '%1'").arg(sub);
        return false;
    }
    if (command == QLatin1String("assign")) {
        out.method = QStringLiteral("AssignKey");
        if (!exactly(2, "a key and an action"))
            return false;
        out.arguments << args[0] << args[1];
        return true;
    }
    if (command == QLatin1String("lighting") || command == QLatin1String("settings")) {
        QVariantMap values;
        const bool lighting = command == QLatin1String("lighting");
        const bool ok = lighting ? takeValues(args, kLightingOptions, true, values, error)
                                 : takeValues(args, kSettingOptions, false, values, error);
        if (!ok)
            return false;
        if (values.isEmpty()) {
            out.method = lighting ? QStringLiteral("Lighting") : QStringLiteral("Settings");
        } else {
            out.method = lighting ? QStringLiteral("SetLighting") : QStringLiteral("SetSettings");
            out.arguments << values;
        }
        return true;
    }
    error = QStringLiteral("unknown command '%1'").arg(command);
    return false;
}

QString HumanOutput(const QString& command, const QJsonObject& data) {
    QString out;
    if (command == QLatin1String("devices")) {
        for (const QJsonValue& v : data.value("devices").toArray()) {
            const QJsonObject d = v.toObject();
            if (d.value("state").toString() == QLatin1String("no-permission"))
                out += QStringLiteral("%1\t%2\tno permission to open %3\n")
                           .arg(d.value("family").toString(), d.value("form").toString(), d.value("node").toString());
            else
                out += QStringLiteral("%1\t%2\tfirmware %3\t%4\n")
                           .arg(d.value("family").toString(), d.value("form").toString(),
                                d.value("firmware").toString(), d.value("state").toString());
        }
        return out;
    }
    if (command == QLatin1String("profiles")) {
        const QJsonArray names = data.value("profiles").toArray();
        const int selected = data.value("selected").toInt(-1);
        for (int i = 0; i < names.size(); ++i)
            out += QStringLiteral("%1 %2\n").arg(i == selected ? '*' : ' ').arg(names[i].toString());
        return out;
    }
    if (command == QLatin1String("lighting") && data.contains("mode")) {
        out +=
            QStringLiteral("mode\t\t%1 (%2)\n").arg(data.value("modeName").toString()).arg(data.value("mode").toInt());
        for (const char* key : {"brightness", "speed", "direction", "sevenColour"})
            out += QStringLiteral("%1\t%2%3\n")
                       .arg(QLatin1String(key), QLatin1String(strlen(key) < 8 ? "\t" : ""))
                       .arg(data.value(key).toInt());
        out += QStringLiteral("colour\t\t%1\nmodes\t\t").arg(data.value("colour").toString());
        QStringList modes;
        for (const QJsonValue& m : data.value("modes").toArray())
            modes << QStringLiteral("%1 %2")
                         .arg(m.toObject().value("number").toInt())
                         .arg(m.toObject().value("name").toString());
        out += modes.join(", ") + '\n';
        return out;
    }
    if (command == QLatin1String("settings") && data.contains("reportRate")) {
        out += QStringLiteral("report-rate\t%1 Hz\nrepeat-rate\t%2\nrepeat-delay\t%3 ms\nwin-lock\t%4\n")
                   .arg(data.value("reportRate").toInt())
                   .arg(data.value("repeatRate").toInt())
                   .arg(data.value("repeatDelay").toInt())
                   .arg(data.value("winLock").toBool() ? "on" : "off");
        return out;
    }
    if (command == QLatin1String("assignments")) {
        for (const QJsonValue& v : data.value("keys").toArray()) {
            const QJsonObject k = v.toObject();
            out += QStringLiteral("%1\t%2%3\n")
                       .arg(k.value("key").toString(), k.value("action").toString(),
                            k.value("default").toBool() ? QString() : QStringLiteral("\t(changed)"));
        }
        return out;
    }
    return out;
}

} // namespace talyx::ctl
