// What a screen reader and a keyboard user get from the skin: every layout built as the
// program builds it, every control asked for its role and name through Qt's accessibility
// interfaces; and no text a user sees written into the code or a layout instead of a table.
#include <QAccessible>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "app/BuilderCallback.h"
#include "app/ControlRegistry.h"
#include "ui/Accessibility.h"
#include "ui/CDialogBuilder.h"
#include "ui/CEditUI.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

using namespace talyx;

namespace {

bool operated(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::PageTab:
    case QAccessible::Slider:
    case QAccessible::ProgressBar:
    case QAccessible::ComboBox:
    case QAccessible::List:
    case QAccessible::EditableText:
        return true;
    default:
        return false;
    }
}

QStringList layoutFiles(const QString& skin) {
    QStringList out;
    QDirIterator it(skin + QStringLiteral("/XML"), {QStringLiteral("*.xml")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.contains(QStringLiteral("/Menus/"))) // pop-up menus are Qt's own menu items
            out << QDir(skin).relativeFilePath(path);
    }
    out.sort();
    return out;
}

} // namespace

TEST(AccessibleSkin, EveryControlUsersOperateInEveryLayoutHasARoleAndAName) {
    CPaintManagerUI::SetInstancePath(QString());
    const QString data = CPaintManagerUI::GetInstancePath();
    CPaintManagerUI::SetResourcePath(data + QStringLiteral("skin"));
    CResourceManager::GetInstance().LoadResource(QStringLiteral("res.xml"));
    ASSERT_TRUE(CResourceManager::GetInstance().LoadLanguage(QStringLiteral("lan_en.xml")));
    RegisterControlClasses();

    const QStringList files = layoutFiles(data + QStringLiteral("skin"));
    ASSERT_GT(files.size(), 10);
    QStringList missing;
    int checked = 0;
    for (const QString& file : files) {
        QWidget host;
        CPaintManagerUI pm(&host);
        AppBuilderCallback callback(&pm);
        CDialogBuilder builder;
        std::unique_ptr<CControlUI> root(builder.Create(file, &callback, &pm));
        if (!root)
            continue; // a fragment that only a page includes
        root->setParent(&host);
        QList<CControlUI*> controls = root->findChildren<CControlUI*>();
        controls.prepend(root.get());
        for (CControlUI* c : controls) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(c);
            ASSERT_NE(iface, nullptr) << c->GetName().toStdString();
            const QAccessible::Role role = iface->role();
            const bool edit = qobject_cast<CEditUI*>(c) != nullptr;
            if (!operated(role) && !edit)
                continue;
            ++checked;
            // Items whose text the program fills in: the device's family, the update's device.
            if (c->GetName() == QLatin1String("tab_header_device") ||
                c->GetName() == QLatin1String("check_name_select"))
                continue;
            const QString name = edit ? AccessibleName(c) : iface->text(QAccessible::Name);
            if (name.trimmed().isEmpty())
                missing << QStringLiteral("%1: %2 (%3)").arg(file, c->GetName(), c->GetClass());
        }
    }
    EXPECT_GT(checked, 150);
    EXPECT_TRUE(missing.isEmpty()) << missing.size() << " controls without a name:\n"
                                   << missing.join(QLatin1Char('\n')).toStdString();
}
