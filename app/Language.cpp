#include "app/Language.h"

#include <cstdlib>
#include <json/value.h>

#include "platform/Debug.h"
#include "platform/JsonFile.h"
#include "platform/Registry.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

namespace talyx {
namespace {

struct FontSpec {
    int id;
    int size;
    bool underline;
    bool bold;
};

// The interface font set: ids as the layouts use them, sizes in toolkit units.
constexpr FontSpec kFontSet[] = {
    {0, 15, false, false},  {1, 14, true, false},   {2, 18, false, false}, {3, 30, false, false}, {4, 16, false, false},
    {5, 20, false, false},  {6, 22, false, false},  {7, 14, false, false}, {8, 12, false, false}, {9, 11, false, false},
    {10, 10, false, false}, {11, 28, false, false}, {50, 18, false, true},
};
constexpr int kDefaultFontSize = 12;

bool rebuildIndex(int index) {
    return index == 0 || index == 2 || index == 15;
}

} // namespace

QString LanguageConfigPath() {
    return CPaintManagerUI::GetInstancePath() + QStringLiteral("DefaultData/Language.config");
}

std::vector<LanguageEntry> ReadLanguageConfig() {
    std::vector<LanguageEntry> out;
    const Json::Value root = readjsonFile(LanguageConfigPath().toStdString());
    const Json::Value& list = root.isObject() ? root["Language"] : Json::Value::nullSingleton();
    if (!list.isArray())
        return out;
    for (const Json::Value& e : list) {
        LanguageEntry entry;
        if (e.isObject()) {
            entry.id = e["Language_ID"].isUInt() ? e["Language_ID"].asUInt() : 0;
            entry.name = QString::fromStdString(e["Language_name"].isString() ? e["Language_name"].asString() : "");
            entry.file = QString::fromStdString(e["Language_file"].isString() ? e["Language_file"].asString() : "");
            entry.text = QString::fromStdString(e["Language_text"].isString() ? e["Language_text"].asString() : "");
        }
        out.push_back(entry);
    }
    return out;
}

int ReadLanguageIndex() {
    RegistryStore store = RegistryStore::user();
    if (!store.keyExists(ProductRegistryKey()))
        return 0;
    const uint32_t id = store.readDword(ProductRegistryKey(), "LANGUAGE").value_or(kDefaultLanguageId);
    const auto entries = ReadLanguageConfig();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].id == id)
            return static_cast<int>(i);
    return 0;
}

bool StoreLanguageId(uint32_t id) {
    RegistryStore store = RegistryStore::user();
    if (!store.writeDword(ProductRegistryKey(), "LANGUAGE", id))
        return false;
    DebugOutput("写成功！");
    return true;
}

bool FontSetRebuildNeeded(int next, int current) {
    return rebuildIndex(next) || rebuildIndex(current) || current == -1;
}

void ApplyFontSet(CPaintManagerUI& manager) {
    const QString face = QString::fromLatin1(kFontSetFace);
    manager.RemoveAllFonts();
    manager.SetDefaultFont(face, kDefaultFontSize, false, false, false, true);
    for (const FontSpec& f : kFontSet)
        manager.AddFont(f.id, face, f.size, f.bold, f.underline, false, true);
}

void StoreDesktopLanguage() {
    RegistryStore store = RegistryStore::user();
    if (store.keyExists(ProductRegistryKey()))
        return;
    store.createKey(ProductRegistryKey());
    const char* lang = std::getenv("LC_ALL");
    if (!lang || !*lang)
        lang = std::getenv("LC_MESSAGES");
    if (!lang || !*lang)
        lang = std::getenv("LANG");
    if (!lang || !*lang)
        return;
    const QString locale = QString::fromLatin1(lang).section('.', 0, 0).section('@', 0, 0);
    const int id = LanguageIdForLocale(locale, ReadLanguageConfig());
    if (id >= 0 && id != kDefaultLanguageId)
        store.writeDword(ProductRegistryKey(), "LANGUAGE", static_cast<uint32_t>(id));
}

int LanguageIdForLocale(const QString& locale, const std::vector<LanguageEntry>& entries) {
    if (locale.isEmpty())
        return -1;
    // The whole name first ("pt_BR"), then the language alone ("de_AT" takes "de_DE").
    // Chinese is written two ways: Taiwan, Hong Kong and Macau read the traditional table,
    // every other Chinese locale the simplified one.
    QString wanted = locale;
    const QString language = locale.section('_', 0, 0).toLower();
    const QString territory = locale.section('_', 1, 1).toUpper();
    if (language == QLatin1String("zh"))
        wanted =
            (territory == QLatin1String("TW") || territory == QLatin1String("HK") || territory == QLatin1String("MO"))
                ? QStringLiteral("zh_TW")
                : QStringLiteral("zh_CN");
    for (const LanguageEntry& e : entries)
        if (!e.name.isEmpty() && wanted.compare(e.name, Qt::CaseInsensitive) == 0)
            return e.id;
    for (const LanguageEntry& e : entries)
        if (!e.name.isEmpty() && language == e.name.section('_', 0, 0).toLower())
            return e.id;
    return -1;
}

bool LanguageState::Apply(int index, CPaintManagerUI& manager) {
    if (index == m_current)
        return false;
    if (FontSetRebuildNeeded(index, m_current))
        ApplyFontSet(manager);
    m_current = index;
    const auto entries = ReadLanguageConfig();
    if (index < 0 || static_cast<size_t>(index) >= entries.size())
        return true;
    const LanguageEntry& entry = entries[static_cast<size_t>(index)];
    CResourceManager& resources = CResourceManager::GetInstance();
    resources.SetLanguage(entry.name);
    resources.LoadLanguage(entry.file);
    resources.ReloadText();
    StoreLanguageId(entry.id);
    return true;
}

} // namespace talyx
