#include "ui/CMenuWnd.h"

#include <QDomDocument>
#include <QFile>
#include <QMenu>
#include <QPointer>

#include "platform/MessageTarget.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"
#include "ui/WindowMessages.h"

namespace talyx {
namespace {

QString g_nextChoice;
bool g_hasNextChoice = false;

void choose(MessageTarget* owner, const QString& name) {
    if (owner)
        owner->sendMessage(kMsgMenuChoice, reinterpret_cast<WPARAM>(&name), 0);
}

void fill(QMenu* menu, const QDomElement& parent, MessageTarget* owner) {
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.tagName() == QLatin1String("MenuSeparator")) {
            menu->addSeparator();
            continue;
        }
        if (e.tagName() != QLatin1String("MenuElement"))
            continue;
        const QString name = e.attribute(QStringLiteral("name"));
        QString text = e.attribute(QStringLiteral("text"));
        if (e.hasAttribute(QStringLiteral("textid")))
            text = CResourceManager::GetInstance().GetText(e.attribute(QStringLiteral("textid")));
        if (!e.firstChildElement(QStringLiteral("MenuElement")).isNull()) {
            QMenu* sub = menu->addMenu(text);
            sub->setObjectName(name);
            fill(sub, e, owner);
            continue;
        }
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        QObject::connect(action, &QAction::triggered, menu, [owner, name] { choose(owner, name); });
    }
}

} // namespace

QMenu* CMenuWnd::BuildMenu(MessageTarget* owner, const QString& layout) {
    QFile file(CPaintManagerUI::GetResourcePath() + CResourceManager::GetInstance().GetLayoutFile(layout));
    QDomDocument doc;
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file))
        return nullptr;
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setStyleSheet(QStringLiteral(
        "QMenu{background:#1b1f28;color:#e8eaf0;border:1px solid #2f3542;padding:4px;}"
        "QMenu::item{padding:6px 22px;border-radius:3px;}"
        "QMenu::item:selected{background:#00a8d8;color:#0b0d12;}"
        "QMenu::separator{height:1px;background:#2f3542;margin:4px 8px;}"));
    fill(menu, doc.documentElement(), owner);
    return menu;
}

bool CMenuWnd::CreateMenu(MessageTarget* owner, const QString& layout, const QPoint& point) {
    QMenu* menu = BuildMenu(owner, layout);
    if (!menu)
        return false;
    if (g_hasNextChoice) {
        g_hasNextChoice = false;
        const QString name = g_nextChoice;
        delete menu;
        choose(owner, name);
        return true;
    }
    menu->popup(point);
    return true;
}

void CMenuWnd::SetNextChoice(const QString& itemName) {
    g_nextChoice = itemName;
    g_hasNextChoice = true;
}

} // namespace talyx
