#pragma once

#include <QHash>
#include <QString>

#include "ui/UIDefs.h"

namespace talyx {

// Process-wide resources: the index of named layouts ("res.xml") and the language table.
//
// "res.xml" maps resource names to layout files:
//   <Resources><Layout name="XML_MAIN" file="XML/main.xml"/></Resources>
// A language table maps language keys to texts:
//   <Language name="English"><Text id="close_text" value="Close"/></Language>
// Language tables live in the program data folder's "lang" folder.
class CResourceManager {
public:
    static CResourceManager& GetInstance();
    // Frees what was loaded (at exit).
    void Release();

    // Loads a resource index from the skin folder. False when it is missing or invalid.
    bool LoadResource(const QString& file);
    // The layout file registered under a name, or the name itself when none is.
    QString GetLayoutFile(const QString& nameOrFile) const;

    void SetLanguage(const QString& name) { m_language = name; }
    QString GetLanguage() const { return m_language; }
    // Replaces the table with the given file. False (table unchanged) when it cannot be read.
    bool LoadLanguage(const QString& file);
    QString GetLanguageFile() const { return m_languageFile; }
    // A second table whose texts stand in for keys the current one lacks, so a table that
    // is not yet complete shows those in this language instead of bare keys. False when
    // it cannot be read.
    bool SetFallbackLanguage(const QString& file);
    // The text of a key: the table's, the fallback table's, then the text-query
    // interface's, else the key itself.
    QString GetText(const QString& key, const QString& className = QString()) const;
    bool HasText(const QString& key) const { return m_texts.contains(key); }
    // Gives every control of every window its text from the current table again.
    void ReloadText();
    void SetTextQueryInterface(IQueryControlText* query) { m_query = query; }
    // How many language files were loaded so far (tests check that nothing reloads).
    int LanguageLoadCount() const { return m_loadCount; }

private:
    QHash<QString, QString> m_layouts;
    QHash<QString, QString> m_texts;
    QHash<QString, QString> m_fallback;
    QString m_language;
    QString m_languageFile;
    IQueryControlText* m_query = nullptr;
    int m_loadCount = 0;
};

} // namespace talyx
