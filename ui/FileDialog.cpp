#include "ui/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QList>
#include <QStringList>

namespace talyx {
namespace {

QList<QString> g_next;

QString withDefaultExt(const QString& path, const QString& ext) {
    if (path.isEmpty() || ext.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + '.' + ext;
}

} // namespace

void FileDialog::SetNextFileName(const QString& path) { g_next.append(path); }

QString FileDialog::ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString label = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed().replace(';', ' ');
        if (label.isEmpty() && pattern.isEmpty())
            break;
        out.append(QStringLiteral("%1 (%2)").arg(label, pattern));
    }
    return out.join(QStringLiteral(";;"));
}

QString FileDialog::GetOpenFileName(QWidget* parent, const QString& filter, const QString&, const QString& title) {
    if (!g_next.isEmpty())
        return g_next.takeFirst();
    return QFileDialog::getOpenFileName(parent, title, QString(), ToQtFilter(filter));
}

QString FileDialog::GetSaveFileName(QWidget* parent, const QString& filter, const QString& defaultExt,
                                    const QString& defaultName, const QString& title) {
    if (!g_next.isEmpty())
        return withDefaultExt(g_next.takeFirst(), defaultExt);
    return withDefaultExt(QFileDialog::getSaveFileName(parent, title, defaultName, ToQtFilter(filter)), defaultExt);
}

} // namespace talyx
