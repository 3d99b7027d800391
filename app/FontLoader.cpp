#include "app/FontLoader.h"

#include <QFile>
#include <QFontDatabase>

namespace talyx {

void PrivateFonts::Load(const QString& dataDir) {
    for (size_t i = 0; i < m_loaders.size(); ++i) {
        FontLoader& loader = m_loaders[i];
        loader.path = dataDir + QStringLiteral("/Font/") + QString::fromLatin1(kFiles[i]);
        loader.handle = -1;
        QFile file(loader.path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = file.readAll();
        if (data.isEmpty())
            continue;
        loader.handle = QFontDatabase::addApplicationFontFromData(data);
    }
}

void PrivateFonts::Remove() {
    for (auto it = m_loaders.rbegin(); it != m_loaders.rend(); ++it) {
        if (it->handle >= 0)
            QFontDatabase::removeApplicationFont(it->handle);
        it->handle = -1;
    }
}

int PrivateFonts::LoadedCount() const {
    int n = 0;
    for (const auto& l : m_loaders)
        n += l.handle >= 0 ? 1 : 0;
    return n;
}

} // namespace talyx
