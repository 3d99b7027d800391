#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The command line's words: what the arguments ask of the automation interface, and how
// an answer is shown. No bus here, so the parsing and the output are tested alone.
namespace talyx::ctl {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Invocation {
    bool json = false;
    bool help = false;
    bool version = false;
    QString device;         // --device, empty for the only one connected
    QString method;         // the automation method
    QVariantList arguments; // after the device
    QString command;        // what was asked, for the output ("devices", "profile new", ...)
};

// Parses argv (without the program name). False with `error` for bad usage.
bool ParseArguments(const QStringList& args, Invocation& out, QString& error);

// The usage text.
QString UsageText();

// The human-readable output of an answer to `command` (empty when the message says it all).
QString HumanOutput(const QString& command, const QJsonObject& data);

} // namespace talyx::ctl
