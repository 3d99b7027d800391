// talyx-skinview: builds one skin layout the way the program does and saves it as a PNG,
// so layouts can be looked at without a device or a display.
//
//   talyx-skinview LAYOUT OUT.png [WIDTH HEIGHT] [--lang FILE] [--dpi N]
//
// LAYOUT is a resource name ("XML_MAIN") or a file under skin/.
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "app/BuilderCallback.h"
#include "app/ControlRegistry.h"
#include "app/Language.h"
#include "platform/Paths.h"
#include "ui/CControlUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

using namespace talyx;

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    QString lang = QStringLiteral("lan_en.xml");
    int dpi = 96;
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--lang") || args[i] == QLatin1String("--dpi")) {
            if (args[i] == QLatin1String("--lang"))
                lang = args[i + 1];
            else
                dpi = args[i + 1].toInt();
            args.removeAt(i);
            args.removeAt(i);
            --i;
        }
    }
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: talyx-skinview LAYOUT OUT.png [WIDTH HEIGHT] [--lang FILE] [--dpi N]\n");
        return 2;
    }
    CPaintManagerUI::SetInstancePath(QString::fromStdString(ProgramDataDir()));
    CResourceManager::GetInstance().LoadResource(QStringLiteral("res.xml"));
    CResourceManager::GetInstance().LoadLanguage(lang);
    RegisterControlClasses();

    QWidget window;
    CPaintManagerUI manager(&window);
    ApplyFontSet(manager);
    manager.SetDPI(dpi);
    AppBuilderCallback callback(&manager);
    CDialogBuilder builder;
    CControlUI* root = builder.Create(args[0], &callback, &manager);
    if (!root) {
        std::fprintf(stderr, "cannot build %s: %s\n", qPrintable(args[0]), qPrintable(builder.GetLastError()));
        return 1;
    }
    root->setParent(&window);
    manager.AttachDialog(root);
    QSize size = builder.GetWindowSize();
    if (args.size() >= 4)
        size = QSize(args[2].toInt(), args[3].toInt());
    if (size.isEmpty())
        size = QSize(800, 600);
    size = QSize(manager.Scale(size.width()), manager.Scale(size.height()));
    window.resize(size);
    root->setGeometry(0, 0, size.width(), size.height());
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(args[1], "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    std::printf("%s\n", qPrintable(args[1]));
    return 0;
}
