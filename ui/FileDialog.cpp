#include "ui/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
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

void FileDialog::SetNextFileName(const QString& path) {
    g_next.append(path);
}

QString FileDialog::ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i].trimmed();
        const QStringList patterns =
            parts[i + 1].split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
        if (label.isEmpty() && patterns.isEmpty())
            break;
        const QString pattern = patterns.join(' ');
        // A label that already names its patterns ("Profile Files(*.json)") shows them
        // once, in the same form as the others: "Profile Files (*.json)".
        const QString named = QStringLiteral("(%1)").arg(pattern);
        if (label.endsWith(named))
            label = label.left(label.size() - named.size()).trimmed();
        out.append(label.isEmpty() ? named : QStringLiteral("%1 %2").arg(label, named));
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
    // The dialog adds the extension itself, so that its question about replacing a file
    // is asked of the name that will be written.
    QFileDialog dialog(parent, title, QString(), ToQtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExt);
    if (!defaultName.isEmpty())
        dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return withDefaultExt(dialog.selectedFiles().constFirst(), defaultExt);
}

} // namespace talyx
