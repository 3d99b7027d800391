#include "ui/CResourceManager.h"

#include <QDomDocument>
#include <QFile>

#include "ui/CControlUI.h"
#include "ui/CPaintManagerUI.h"

namespace talyx {
namespace {

bool readXml(const QString& path, QDomDocument& doc) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return static_cast<bool>(doc.setContent(&file));
}

} // namespace

CResourceManager& CResourceManager::GetInstance() {
    static CResourceManager instance;
    return instance;
}

void CResourceManager::Release() {
    m_layouts.clear();
    m_texts.clear();
    m_fallback.clear();
    m_query = nullptr;
}

bool CResourceManager::LoadResource(const QString& file) {
    QDomDocument doc;
    if (!readXml(CPaintManagerUI::GetResourcePath() + file, doc))
        return false;
    const QDomNodeList layouts = doc.documentElement().elementsByTagName(QStringLiteral("Layout"));
    for (int i = 0; i < layouts.size(); ++i) {
        const QDomElement e = layouts.at(i).toElement();
        m_layouts.insert(e.attribute(QStringLiteral("name")), e.attribute(QStringLiteral("file")));
    }
    return true;
}

QString CResourceManager::GetLayoutFile(const QString& nameOrFile) const {
    QString file = m_layouts.value(nameOrFile, nameOrFile);
    file.replace('\\', '/');
    return file;
}

static bool readTable(const QString& file, QHash<QString, QString>& texts) {
    QDomDocument doc;
    if (!readXml(CPaintManagerUI::GetInstancePath() + QStringLiteral("lang/") + file, doc))
        return false;
    const QDomNodeList items = doc.documentElement().elementsByTagName(QStringLiteral("Text"));
    for (int i = 0; i < items.size(); ++i) {
        const QDomElement e = items.at(i).toElement();
        texts.insert(e.attribute(QStringLiteral("id")), e.attribute(QStringLiteral("value")));
    }
    return true;
}

bool CResourceManager::SetFallbackLanguage(const QString& file) {
    QHash<QString, QString> texts;
    if (!readTable(file, texts))
        return false;
    m_fallback.swap(texts);
    return true;
}

bool CResourceManager::LoadLanguage(const QString& file) {
    QHash<QString, QString> texts;
    if (!readTable(file, texts))
        return false;
    m_texts.swap(texts);
    m_languageFile = file;
    ++m_loadCount;
    return true;
}

QString CResourceManager::GetText(const QString& key, const QString& className) const {
    auto it = m_texts.find(key);
    if (it != m_texts.end())
        return *it;
    if (auto fallback = m_fallback.find(key); fallback != m_fallback.end())
        return *fallback;
    if (m_query) {
        const QString text = m_query->QueryControlText(key, className);
        if (!text.isEmpty())
            return text;
    }
    return key;
}

void CResourceManager::ReloadText() {
    for (CPaintManagerUI* manager : CPaintManagerUI::AllManagers()) {
        if (CControlUI* root = manager->GetRoot())
            root->ReloadText();
    }
}

} // namespace talyx
