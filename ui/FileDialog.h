#pragma once

#include <QString>

class QWidget;

namespace talyx {

// File-open and file-save dialogs. Filters are written as pairs "label|pattern|" ended
// by "|" (for example "(*.png) | *.png |(*.*)|*.*||"). An empty result means the user
// cancelled. A saved name the user typed without an extension gets `defaultExt` ("json",
// no dot). Tests give the next answer with SetNextFileName instead of a dialog.
class FileDialog {
public:
    static QString GetOpenFileName(QWidget* parent, const QString& filter, const QString& defaultExt,
                                   const QString& title = QString());
    static QString GetSaveFileName(QWidget* parent, const QString& filter, const QString& defaultExt,
                                   const QString& defaultName = QString(), const QString& title = QString());
    // Test seam: the next dialog is not shown and answers this path ("" = cancelled).
    static void SetNextFileName(const QString& path);
    // "(*.png) | *.png |(*.*)|*.*||" → "(*.png);;(*.*)" for Qt, and
    // "Profile Files(*.json)|*.json;||" → "Profile Files (*.json)": each pattern once.
    static QString ToQtFilter(const QString& filter);
};

} // namespace talyx
