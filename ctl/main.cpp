// talyxctl: scripts the running program (or the one the bus starts) over its automation
// interface on the session bus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "ctl/CtlCommands.h"
#include "platform/Product.h"

using namespace talyx::ctl;

namespace {

// A call may wait for the program to start, find its devices and write to them.
constexpr int kCallTimeoutMs = 90000;

void print(FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}

int finish(const Invocation& inv, int result, const QString& message, const QJsonObject& data) {
    if (inv.json) {
        QJsonObject out;
        out["ok"] = result == 0;
        out["result"] = result;
        out["message"] = message;
        out["data"] = data;
        print(stdout, QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Indented)));
    } else if (result == 0) {
        const QString shown = HumanOutput(inv.command, data);
        print(stdout, shown.isEmpty() ? message + '\n' : shown);
    }
    if (result != 0)
        print(stderr, QStringLiteral("talyxctl: %1\n").arg(message));
    return result == 0 ? kExitOk : kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Invocation inv;
    QString error;
    if (!ParseArguments(app.arguments().mid(1), inv, error)) {
        print(stderr, QStringLiteral("talyxctl: %1\n\n%2").arg(error, UsageText()));
        return kExitUsage;
    }
    if (inv.help) {
        print(stdout, UsageText());
        return kExitOk;
    }
    if (inv.version) {
        print(stdout, QStringLiteral("talyxctl %1\n").arg(QLatin1String(TALYX_VERSION)));
        return kExitOk;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return finish(inv, 1, QStringLiteral("there is no session bus to reach the program on"), {});
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(talyx::kBusName), QString::fromLatin1(talyx::kBusPath) + QStringLiteral("/Automation"),
        QStringLiteral("org.talyx.RgbGamingKeyboard.Automation1"), inv.method);
    QVariantList args;
    if (inv.method != QLatin1String("Devices"))
        args << inv.device;
    args << inv.arguments;
    call.setArguments(args);
    call.setAutoStartService(true);
    const QDBusMessage answer = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        const QString name = answer.errorName();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            name == QLatin1String("org.freedesktop.DBus.Error.Spawn.ChildExited") ||
            name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
            return finish(
                inv, 1,
                QStringLiteral("the program is not running and could not be started (%1)").arg(answer.errorMessage()),
                {});
        if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
            return finish(inv, 1, QStringLiteral("the program did not answer in time"), {});
        return finish(inv, 1, QStringLiteral("the program refused the call: %1").arg(answer.errorMessage()), {});
    }
    const QVariantList out = answer.arguments();
    if (out.size() != 3)
        return finish(inv, 1, QStringLiteral("the program gave an answer talyxctl does not understand"), {});
    QJsonObject data = QJsonDocument::fromJson(out[2].toString().toUtf8()).object();
    if (inv.method == QLatin1String("Devices") && !inv.device.isEmpty() && out[0].toInt() == 0) {
        // Only the device asked about.
        QJsonArray kept;
        for (const QJsonValue& d : data.value("devices").toArray())
            if (d.toObject().value("family").toString() == inv.device)
                kept.append(d);
        data["devices"] = kept;
        if (kept.isEmpty())
            return finish(inv, 1, QStringLiteral("no %1 is connected").arg(inv.device), data);
    }
    return finish(inv, out[0].toInt(), out[1].toString(), data);
}
