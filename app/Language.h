#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace talyx {

class CPaintManagerUI;

// One entry of "Language.config".
struct LanguageEntry {
    uint32_t id = 0; // stored in the settings store
    QString name;    // handed to the resource manager's SetLanguage
    QString file;    // language table file
    QString text;    // shown in the language list
};

// The language id used when the settings store has no "LANGUAGE" value.
inline constexpr uint32_t kDefaultLanguageId = 520;
// The face every font of the rebuilt font set uses.
inline constexpr const char* kFontSetFace = "Verdana Unicode MS";

// "DefaultData/Language.config" under the program data folder; empty when missing or
// unreadable.
std::vector<LanguageEntry> ReadLanguageConfig();
QString LanguageConfigPath();

// The index of the stored language in Language.config: 0 when the product key is
// missing, the entry of id 520 when the value is missing, 0 when nothing matches.
int ReadLanguageIndex();
// Writes "LANGUAGE" into the product key; does not create the key. True when written.
bool StoreLanguageId(uint32_t id);
// Whether switching from `current` to `next` rebuilds the font set.
bool FontSetRebuildNeeded(int next, int current);
// Replaces the paint manager's fonts with the program's font set.
void ApplyFontSet(CPaintManagerUI& manager);
// What a first start does, as an installer would: when the product key was just
// created, the desktop's language picks the entry whose name matches $LANG (for
// example "zh_CN"); an English or unknown desktop leaves the value unset (id 520).
void StoreDesktopLanguage();
// The id of the entry a locale name ("de_AT", "zh_HK", "pt_BR") reads best in: the whole
// name, else the language alone, with Chinese split into traditional (Taiwan, Hong Kong,
// Macau) and simplified (the rest). -1 when no entry fits.
int LanguageIdForLocale(const QString& locale, const std::vector<LanguageEntry>& entries);

// The language state of the main window: which index is shown.
class LanguageState {
public:
    int Current() const { return m_current; }
    // Steps 1 to 5 of applying a language: nothing when the index is the current one;
    // otherwise maybe rebuild fonts, load the entry's table, reload texts and store its
    // id. Returns false when nothing was applied.
    bool Apply(int index, CPaintManagerUI& manager);

private:
    int m_current = -1;
};

} // namespace talyx
