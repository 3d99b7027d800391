#pragma once

#include <QHash>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QXmlStreamAttributes>

#include "ui/UIDefs.h"

namespace talyx {

class CControlUI;

// Builds controls from a skin layout (format: docs/skin-format.md). Tags the toolkit
// knows make its own controls; any other tag goes to the callback, then to the control
// factory (by the tag itself and by "C" + tag + "UI"). A tag nobody knows is skipped
// with a debug text. Layout names are resolved through res.xml; '\' and '/' both work.
class CDialogBuilder {
public:
    // Builds a layout by resource name or file (relative to the skin folder) and binds it
    // to the manager. Returns the root control, or nullptr when the file is missing or
    // is not a layout.
    CControlUI* Create(const QString& layout, IDialogBuilderCallback* callback = nullptr,
                       CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);
    // The same from XML text.
    CControlUI* CreateFromText(const QString& xml, IDialogBuilderCallback* callback = nullptr,
                               CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);

    // What the <Window> element said, after Create.
    QSize GetWindowSize() const { return m_windowSize; }
    QString GetWindowAttribute(const QString& name) const { return m_windowAttributes.value(name.toLower()); }
    QString GetLastError() const { return m_error; }

private:
    struct Node {
        QString tag;
        QXmlStreamAttributes attributes;
        QList<Node> children;
    };
    bool parse(const QString& xml, Node& root);
    CControlUI* build(const Node& node, CControlUI* parent);
    CControlUI* createByTag(const QString& tag);
    void readWindow(const Node& node);

    IDialogBuilderCallback* m_callback = nullptr;
    CPaintManagerUI* m_manager = nullptr;
    QSize m_windowSize;
    QHash<QString, QString> m_windowAttributes;
    QString m_error;
    int m_depth = 0;
};

} // namespace talyx
