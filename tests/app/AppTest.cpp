// Start-up pieces without a window: messages, control classes, languages, fonts.
#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "app/AppBus.h"
#include "app/AppMessages.h"
#include "app/CMainWnd.h"
#include "app/ControlRegistry.h"
#include "app/FontLoader.h"
#include "app/Language.h"
#include "platform/FileIO.h"
#include "platform/MessageRegistry.h"
#include "platform/Product.h"
#include "platform/Registry.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TestSupport.h"
#include "ui/CControlFactory.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

using namespace talyx;
using talyx::test::ScopedEnv;
using talyx::test::ScratchDir;

TEST(AppMessages, GuidMessagesAreRegisteredUnderTheirExactStrings) {
    const uint32_t instance = RegisterInstanceMessage();
    RegisterAppMessages();
    EXPECT_GE(instance, 0xC000u);
    EXPECT_EQ(RegisteredMessageName(instance), "TALYX RGB Gaming keyboard");
    EXPECT_EQ(RegisteredMessageName(WM_APP_UPDATE_STATE), "{4695579F-999A-41d4-9FAF-EFFCE93EBF15}");
    EXPECT_EQ(RegisteredMessageName(WM_APP_LIGHT_CLAIM), "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}");
    EXPECT_EQ(RegisteredMessageName(WM_APP_LIGHT_CONTROL), "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}");
    EXPECT_EQ(RegisteredMessageName(WM_APP_WORKTOOL_QUERY), "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}");
    EXPECT_EQ(RegisteredMessageName(WM_APP_AUDIO_RECORDER), "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}")
        << "the last one ends in EBE19";
    // The five are registered in the table's order, so their ids rise.
    EXPECT_LT(WM_APP_UPDATE_STATE, WM_APP_LIGHT_CLAIM);
    EXPECT_LT(WM_APP_WORKTOOL_QUERY, WM_APP_AUDIO_RECORDER);
}

TEST(AppControls, TheProgramsControlClassesAreRegisteredInOrder) {
    const QStringList names = RegisterControlClasses();
    const QStringList expected = {"CCircleProgressUI",
                                  "CChartViewUI",
                                  "CWndUI",
                                  "CSelectPanelUI",
                                  "CDeviceKeyButtonUI",
                                  "CCloudShareListItemUI",
                                  "CUpdateInfoListItemUI",
                                  "CDeviceOptionUI",
                                  "CMpDevicePowerUI",
                                  "CComboEditContainerElementUI",
                                  "CHandImgButtonUI",
                                  "CHandImgSelectButtonUI",
                                  "CRedioMacroButtonUI",
                                  "CAudioRecordUI",
                                  "CLightControlUI",
                                  "CMacroControlUI",
                                  "CKeySetControlUI",
                                  "CDeviceProfileUI",
                                  "CShootControlUI",
                                  "CMagicControlUI",
                                  "CVoice6533ControlUI",
                                  "CKestravaUSBDevice",
                                  "CKestravaMousePadDevice",
                                  "CKestravaHS6533Device"};
    EXPECT_EQ(names, expected);
    for (const QString& name : expected) {
        std::unique_ptr<CControlUI> c(CControlFactory::GetInstance().CreateControl(name));
        EXPECT_NE(c, nullptr) << name.toStdString();
    }
}

TEST(AppMessages, WorkToolBlockHoldsTheFamilies) {
    const QByteArray block = CMainWnd::WorkToolBlock();
    ASSERT_EQ(block.size(), 1024);
    auto word = [&](int i) {
        const auto* p = reinterpret_cast<const uint8_t*>(block.constData()) + i * 4;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    const uint32_t expected[] = {2,      3, 0,      2,      4, 0x320F, 0x50EF, 2, 0x320F,
                                 0x5078, 1, 0x320F, 0x1004, 3, 0x0C76, 0x1630, 7};
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(word(i), expected[i]) << "word " << i;
    for (int i = 17 * 4; i < 1024; ++i)
        ASSERT_EQ(block[i], 0) << "byte " << i;
}

TEST(AppBus, NamesFromOtherProgramsAreLookedUpAndNeverRegistered) {
    RegisterInstanceMessage();
    RegisterAppMessages();
    AppBus bus;
    talyx::test::RecordingWindow target;
    bus.SetTarget(&target);
    const size_t registered = RegisteredMessageCount();
    int accepted = 0;
    for (int i = 0; i < 3000; ++i)
        accepted += bus.PostMessage(QString("{flood-%1}").arg(i), 1, 1);
    EXPECT_EQ(accepted, 0);
    EXPECT_EQ(RegisteredMessageCount(), registered) << "a flood of names leaves the registry as it was";
    EXPECT_EQ(FindRegisteredMessage("{flood-7}"), 0u);
    EXPECT_TRUE(target.messages.empty());

    // Known names come in, in any case; the program's own broadcast and the recorder's
    // message do not.
    EXPECT_TRUE(bus.PostMessage(QString(kLightControlGuid).toLower(), 1, 0));
    EXPECT_TRUE(bus.PostMessage(QString::fromUtf8(kProductTitle), 0, 1));
    EXPECT_FALSE(bus.PostMessage(kLightClaimGuid, 1, 1));
    EXPECT_FALSE(bus.PostMessage(kAudioRecorderGuid, 1, 1));
    ASSERT_EQ(target.messages.size(), 2u);
    EXPECT_EQ(target.messages[0].msg, WM_APP_LIGHT_CONTROL);
    EXPECT_EQ(target.messages[0].wParam, 1u);
    EXPECT_EQ(target.messages[0].lParam, 0);
    EXPECT_EQ(target.messages[1].msg, WM_APP_INSTANCE);
    EXPECT_EQ(RegisteredMessageCount(), registered);
}

namespace {

// A program data folder with a Language.config of five languages and their tables.
class LanguageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const QString data = QString::fromStdString(dir.path());
        QDir().mkpath(data + "/DefaultData");
        QDir().mkpath(data + "/lang");
        QString config = "{ \"Language\" : [";
        for (int i = 0; i < 5; ++i) {
            config += QString("%1{\"Language_ID\":%2,\"Language_name\":\"l%3\",\"Language_file\":\"l%3.xml\","
                              "\"Language_text\":\"L%3\"}")
                          .arg(i ? "," : "")
                          .arg(i == 3 ? 520 : 1000 + i)
                          .arg(i);
            QFile f(data + QString("/lang/l%1.xml").arg(i));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QString("<Language><Text id=\"hello\" value=\"hello %1\"/></Language>").arg(i).toUtf8());
        }
        config += "]}";
        QFile f(data + "/DefaultData/Language.config");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(config.toUtf8());
        f.close();
        CPaintManagerUI::SetInstancePath(data);
    }
    void TearDown() override { CPaintManagerUI::SetInstancePath(QString()); }
    std::string registryText() {
        std::string text;
        ReadWholeFile(RegistryStore::user().filePath(), text);
        return text;
    }

    ScratchDir dir;
    ScratchDir config;
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.path()};
};

} // namespace

TEST_F(LanguageFixture, StoredIdPicksTheIndexWith520WhenTheValueIsMissing) {
    RegistryStore store = RegistryStore::user();
    EXPECT_EQ(ReadLanguageIndex(), 0) << "no product key";
    store.createKey(ProductRegistryKey());
    EXPECT_EQ(ReadLanguageIndex(), 3) << "no value: id 520";
    store.writeDword(ProductRegistryKey(), "LANGUAGE", 1004);
    EXPECT_EQ(ReadLanguageIndex(), 4);
    store.writeDword(ProductRegistryKey(), "LANGUAGE", 77);
    EXPECT_EQ(ReadLanguageIndex(), 0) << "an unknown id";
    QFile::remove(QString::fromStdString(dir.path()) + "/DefaultData/Language.config");
    EXPECT_EQ(ReadLanguageIndex(), 0) << "no Language.config";
}

TEST_F(LanguageFixture, FirstStartTakesTheDesktopLanguageLikeAnInstaller) {
    ScopedEnv all("LC_ALL", "l4.UTF-8");
    StoreDesktopLanguage();
    EXPECT_EQ(ReadLanguageIndex(), 4);
    ScopedEnv other("LC_ALL", "l1.UTF-8");
    StoreDesktopLanguage();
    EXPECT_EQ(ReadLanguageIndex(), 4) << "only the first start chooses";
}

TEST(Languages, TheShippedListNamesSixteenTablesAndEveryLocaleFindsItsOwn) {
    // The program's own Language.config, as a first start reads it.
    CPaintManagerUI::SetInstancePath(QString());
    const auto entries = ReadLanguageConfig();
    ASSERT_EQ(entries.size(), 16u);
    // The indices whose fonts the program loads: simplified Chinese, traditional Chinese, Thai.
    EXPECT_EQ(entries[0].name, "zh_CN");
    EXPECT_EQ(entries[2].name, "zh_TW");
    EXPECT_EQ(entries[15].name, "th_TH");
    EXPECT_EQ(entries[1].id, kDefaultLanguageId);
    struct Case {
        const char* locale;
        const char* entry; // nullptr: no entry
    } cases[] = {{"de_DE", "de_DE"}, {"de_AT", "de_DE"}, {"pt_PT", "pt_BR"}, {"zh_HK", "zh_TW"},
                 {"zh_SG", "zh_CN"}, {"zh_TW", "zh_TW"}, {"th_TH", "th_TH"}, {"en_GB", "en_US"},
                 {"nl_NL", nullptr}, {"", nullptr},      {"C", nullptr}};
    for (const Case& c : cases) {
        const int id = LanguageIdForLocale(QString::fromLatin1(c.locale), entries);
        QString found;
        for (const LanguageEntry& e : entries)
            if (static_cast<int>(e.id) == id)
                found = e.name;
        EXPECT_EQ(found, QString::fromLatin1(c.entry ? c.entry : "")) << c.locale;
    }
}

TEST_F(LanguageFixture, ApplyingTheShownLanguageReloadsNothingAndWritesNothing) {
    RegistryStore::user().createKey(ProductRegistryKey());
    CPaintManagerUI pm;
    LanguageState state;
    CResourceManager& res = CResourceManager::GetInstance();
    ASSERT_TRUE(state.Apply(4, pm));
    EXPECT_EQ(res.GetText("hello"), "hello 4");
    EXPECT_EQ(RegistryStore::user().readDword(ProductRegistryKey(), "LANGUAGE").value_or(0), 1004u);
    const int loads = res.LanguageLoadCount();
    const std::string before = registryText();
    EXPECT_FALSE(state.Apply(4, pm));
    EXPECT_EQ(res.LanguageLoadCount(), loads);
    EXPECT_EQ(registryText(), before);
}

TEST_F(LanguageFixture, FontSetIsRebuiltOnlyAroundIndices0_2_15AndAtFirst) {
    EXPECT_TRUE(FontSetRebuildNeeded(1, -1));
    EXPECT_TRUE(FontSetRebuildNeeded(0, 4));
    EXPECT_TRUE(FontSetRebuildNeeded(4, 2));
    EXPECT_TRUE(FontSetRebuildNeeded(15, 3));
    EXPECT_FALSE(FontSetRebuildNeeded(3, 4));
    EXPECT_FALSE(FontSetRebuildNeeded(14, 16));

    CPaintManagerUI pm;
    LanguageState state;
    state.Apply(3, pm);
    EXPECT_EQ(pm.FontCount(), 14) << "default font and the 13 ids";
    EXPECT_EQ(pm.GetFont(50).bold(), true);
    EXPECT_EQ(pm.GetFont(1).underline(), true);
    EXPECT_EQ(pm.GetFont(3).pixelSize(), 30);
    pm.AddFont(99, "Marker", 9, false, false, false, false);
    state.Apply(4, pm);
    EXPECT_TRUE(pm.HasFont(99)) << "3 to 4 keeps the font set";
    state.Apply(0, pm);
    EXPECT_FALSE(pm.HasFont(99)) << "4 to 0 rebuilds it";
}

TEST(PrivateFonts, MissingFilesAreSkipped) {
    ScratchDir dir;
    QDir().mkpath(QString::fromStdString(dir.path()) + "/Font");
    QFile::copy("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                QString::fromStdString(dir.path()) + "/Font/NotoSansThai-Regular.ttf");
    PrivateFonts fonts;
    fonts.Load(QString::fromStdString(dir.path()) + "/nowhere");
    EXPECT_EQ(fonts.LoadedCount(), 0);
    fonts.Load(QString::fromStdString(dir.path()));
    if (QFile::exists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")) {
        EXPECT_EQ(fonts.LoadedCount(), 1);
        EXPECT_GE(fonts.Loaders()[2].handle, 0) << "the third file, in the loading order";
    }
    fonts.Remove();
    EXPECT_EQ(fonts.LoadedCount(), 0);
}

namespace {

// The texts of one language table, by id.
QHash<QString, QString> ReadTable(const QString& path) {
    QHash<QString, QString> texts;
    QFile file(path);
    QDomDocument doc;
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file))
        return texts;
    const QDomNodeList items = doc.documentElement().elementsByTagName(QStringLiteral("Text"));
    for (int i = 0; i < items.size(); ++i) {
        const QDomElement e = items.at(i).toElement();
        texts.insert(e.attribute(QStringLiteral("id")), e.attribute(QStringLiteral("value")));
    }
    return texts;
}

// "%1", "%d", "%s" in the order they appear: a table that drops or adds one shows wrong data.
QStringList Placeholders(const QString& text) {
    QStringList found;
    static const QRegularExpression re(QStringLiteral("%[0-9ds]"));
    for (auto it = re.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}

} // namespace

TEST(Languages, EveryTableHoldsEveryTextTheSkinAndTheEnglishTableName) {
    CPaintManagerUI::SetInstancePath(QString());
    const QString data = CPaintManagerUI::GetInstancePath();
    const QHash<QString, QString> english = ReadTable(data + QStringLiteral("lang/lan_en.xml"));
    ASSERT_GT(english.size(), 400);

    // Every id the skin's layouts ask for is in the English table.
    static const QRegularExpression idAttr(QStringLiteral("\\b(?:textid|tooltipid)=\"([^\"]+)\""));
    QDirIterator layouts(data + QStringLiteral("skin"), {QStringLiteral("*.xml")}, QDir::Files,
                         QDirIterator::Subdirectories);
    int asked = 0;
    while (layouts.hasNext()) {
        QFile layout(layouts.next());
        ASSERT_TRUE(layout.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(layout.readAll());
        for (auto it = idAttr.globalMatch(text); it.hasNext(); ++asked) {
            const QString id = it.next().captured(1);
            EXPECT_TRUE(english.contains(id)) << id.toStdString() << " in " << layout.fileName().toStdString();
        }
    }
    EXPECT_GT(asked, 100);

    // Every shipped table holds every English id, none empty, with the same placeholders.
    const auto entries = ReadLanguageConfig();
    ASSERT_EQ(entries.size(), 16u);
    for (const LanguageEntry& entry : entries) {
        const QHash<QString, QString> table = ReadTable(data + QStringLiteral("lang/") + entry.file);
        ASSERT_FALSE(table.isEmpty()) << entry.file.toStdString();
        for (auto it = english.cbegin(); it != english.cend(); ++it) {
            const auto found = table.constFind(it.key());
            if (found == table.cend()) {
                ADD_FAILURE() << entry.file.toStdString() << " lacks " << it.key().toStdString();
                continue;
            }
            EXPECT_EQ(found->trimmed().isEmpty(), it->trimmed().isEmpty())
                << entry.file.toStdString() << ": " << it.key().toStdString();
            EXPECT_EQ(Placeholders(*found), Placeholders(*it))
                << entry.file.toStdString() << ": " << it.key().toStdString();
        }
    }
}
