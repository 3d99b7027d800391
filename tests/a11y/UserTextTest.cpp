// Every text a user reads comes from the language tables: the sources hand no literal
// words to the controls, the layouts write none into their controls, and every table
// key the sources ask for is in the English table (which every table follows).
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

namespace {

QString readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList sourceFiles() {
    QStringList out;
    for (const char* folder : {"app", "editors", "online", "ui"}) {
        QDirIterator it(QStringLiteral(TALYX_SOURCE_DIR "/") + QLatin1String(folder), {QStringLiteral("*.cpp")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << it.next();
    }
    return out;
}

// A literal holding a letter of any script: words, not separators or numbers.
const QRegularExpression kWordLiteral(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*\\p{L}(?:[^\"\\\\]|\\\\.)*)\""));

// The argument text of each call of `functions` in `source`, up to its closing bracket.
QStringList callArguments(const QString& source, const QString& functions) {
    QStringList out;
    const QRegularExpression call(QStringLiteral("\\b(?:%1)\\s*\\(").arg(functions));
    for (auto it = call.globalMatch(source); it.hasNext();) {
        const auto m = it.next();
        int depth = 1;
        qsizetype i = m.capturedEnd();
        const qsizetype from = i;
        bool inString = false;
        for (; i < source.size() && depth > 0; ++i) {
            const QChar c = source[i];
            if (inString) {
                if (c == QLatin1Char('\\'))
                    ++i;
                else if (c == QLatin1Char('"'))
                    inString = false;
            } else if (c == QLatin1Char('"')) {
                inString = true;
            } else if (c == QLatin1Char('(')) {
                ++depth;
            } else if (c == QLatin1Char(')')) {
                --depth;
            }
        }
        out << source.mid(from, i - from - 1);
    }
    return out;
}

QSet<QString> englishKeys() {
    talyx::CPaintManagerUI::SetInstancePath(QString());
    const QString table = readFile(talyx::CPaintManagerUI::GetInstancePath() + QStringLiteral("lang/lan_en.xml"));
    QSet<QString> keys;
    static const QRegularExpression id(QStringLiteral("<Text\\s+id=\"([^\"]+)\""));
    for (auto it = id.globalMatch(table); it.hasNext();)
        keys.insert(it.next().captured(1));
    return keys;
}

} // namespace

TEST(UserTexts, TheSourcesHandNoWordsToControlsAndAskOnlyForKeysTheTablesHold) {
    const QStringList files = sourceFiles();
    ASSERT_GT(files.size(), 30) << TALYX_SOURCE_DIR;
    const QSet<QString> keys = englishKeys();
    ASSERT_GT(keys.size(), 400);

    // Functions that put a text on the screen, and those that look a key up.
    const QString shown = QStringLiteral("SetText|setText|SetToolTip|setToolTip|setWindowTitle|setPlaceholderText|"
                                         "AddItem|addItem|setAccessibleName|showMessage");
    const QString lookups = QStringLiteral("GetText|SetTextId|SetToolTipId|MessageBox|MessageBoxFormatted|text");
    const QRegularExpression lookupCall(QStringLiteral("\\b(?:%1)\\s*\\(\\s*(?:QStringLiteral|QString::fromLatin1|"
                                                       "QLatin1String)?\\(?\\s*\"[A-Za-z0-9_]*\"")
                                            .arg(lookups));
    static const QRegularExpression keyLiteral(QStringLiteral("^\\s*(?:QStringLiteral|QString::fromLatin1|"
                                                              "QString::fromUtf8|QLatin1String)?\\(?\\s*\"([A-Za-z]"
                                                              "[A-Za-z0-9_]*)\""));
    QStringList words;
    QStringList unknown;
    int lookedUp = 0;
    for (const QString& path : files) {
        const QString source = readFile(path);
        const QString name =
            path.mid(path.indexOf(QLatin1String(TALYX_SOURCE_DIR)) + int(strlen(TALYX_SOURCE_DIR)) + 1);
        for (QString args : callArguments(source, shown)) {
            args.remove(lookupCall); // a key handed to a lookup is no word
            const auto m = kWordLiteral.match(args);
            if (m.hasMatch())
                words << name + QStringLiteral(": \"") + m.captured(1) + QLatin1Char('"');
        }
        for (const QString& args : callArguments(source, lookups)) {
            // The parent window comes first in the message boxes.
            const QString first = args.contains(QLatin1Char(',')) && args.startsWith(QLatin1String("this"))
                                      ? args.section(QLatin1Char(','), 1)
                                      : args;
            const auto m = keyLiteral.match(first);
            // A literal that starts a key built in code ("device_name_" + family) is no key.
            if (!m.hasMatch() ||
                first.mid(m.capturedEnd()).remove(QLatin1Char(')')).trimmed().startsWith(QLatin1Char('+')))
                continue;
            ++lookedUp;
            if (!keys.contains(m.captured(1)))
                unknown << name + QStringLiteral(": ") + m.captured(1);
        }
    }
    EXPECT_TRUE(words.isEmpty()) << "words written into the code instead of a table:\n"
                                 << words.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(unknown.isEmpty()) << "keys the English table lacks:\n"
                                   << unknown.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(lookedUp, 5);
}

TEST(UserTexts, TheLayoutsWriteNoWordsIntoTheirControls) {
    talyx::CPaintManagerUI::SetInstancePath(QString());
    const QString skin = talyx::CPaintManagerUI::GetInstancePath() + QStringLiteral("skin");
    // Not language: the product's name and version; key captions, which the keyboard's key
    // table replaces with the language's own.
    const QSet<QString> allowed = {QStringLiteral("TALYX"), QStringLiteral("v0.1.0")};
    static const QRegularExpression element(QStringLiteral("<(\\w+)\\b([^>]*)>"));
    static const QRegularExpression textAttr(QStringLiteral("\\btext=\"([^\"]*)\""));
    QStringList words;
    int elements = 0;
    QDirIterator it(skin, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString layout = readFile(path);
        for (auto e = element.globalMatch(layout); e.hasNext(); ++elements) {
            const auto m = e.next();
            const QString attrs = m.captured(2);
            const auto t = textAttr.match(attrs);
            if (!t.hasMatch() || !kWordLiteral.match(QLatin1Char('"') + t.captured(1) + QLatin1Char('"')).hasMatch())
                continue;
            if (allowed.contains(t.captured(1)) || m.captured(1) == QLatin1String("DeviceKeyButton") ||
                attrs.contains(QLatin1String("showtext=\"false\"")))
                continue;
            words << QDir(skin).relativeFilePath(path) + QStringLiteral(": <") + m.captured(1) +
                         QStringLiteral(" text=\"") + t.captured(1) + QLatin1Char('"');
        }
    }
    EXPECT_GT(elements, 300);
    EXPECT_TRUE(words.isEmpty()) << "words written into the layouts instead of a table:\n"
                                 << words.join(QLatin1Char('\n')).toStdString();
}
