#include "app/CSkinFrame.h"

#include <QList>
#include <QPointer>
#include <QSettings>

#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "ui/CContainerUI.h"
#include "ui/CControlUI.h"
#include "ui/FileDialog.h"

namespace talyx {
namespace {

struct Registered {
    QPointer<QObject> owner;
    CSkinFrame::Observer observer;
};

QList<Registered>& observers() {
    static QList<Registered> list;
    return list;
}

} // namespace

void CSkinFrame::AddObserver(QObject* owner, Observer observer) {
    observers().append({owner, std::move(observer)});
}

void CSkinFrame::Publish(const SkinChange& change) {
    for (const Registered& r : observers())
        if (r.owner)
            r.observer(change);
}

QString CSkinFrame::IniPath() {
    return QString::fromStdString(JoinPath(ProductDataDir(), "main.ini"));
}

bool CSkinFrame::StoreImage(const QString& image, int flags) {
    // The same content an INI writer makes, replaced whole so a crash cannot cut it.
    const QString text = QStringLiteral("[SKINIMAGE]\nFLAGS=%1\nIMAGE=%2\n").arg(flags).arg(image);
    return WriteFileAtomic(IniPath().toStdString(), text.toStdString());
}

QString CSkinFrame::StoredImage(int* flags) {
    QSettings ini(IniPath(), QSettings::IniFormat);
    if (flags)
        *flags = ini.value(QStringLiteral("SKINIMAGE/FLAGS"), 0).toInt();
    return ini.value(QStringLiteral("SKINIMAGE/IMAGE")).toString();
}

void CSkinFrame::Notify(TNotifyUI& msg) {
    if (msg.sType != notify::kClick || !msg.pSender)
        return;
    CControlUI* sender = msg.pSender;
    const QString name = sender->GetName();
    auto* tab = qobject_cast<CTabLayoutUI*>(FindControl(QStringLiteral("skin_tab")));
    if (name == QLatin1String("skin_color")) {
        if (tab)
            tab->SelectItem(1);
    } else if (name == QLatin1String("skin_image")) {
        if (tab)
            tab->SelectItem(0);
    } else if (name == QLatin1String("skin_color_btn")) {
        Publish({sender->GetBkColor(), QString()});
    } else if (name == QLatin1String("skin_image_btn")) {
        Publish({0, sender->GetBkImage()});
        StoreImage(sender->GetBkImage(), 1);
    } else if (name == QLatin1String("skin_reset")) {
        Publish({0, QString::fromLatin1(kResetImage)});
        StoreImage(QString::fromLatin1(kResetImage), 0);
    } else if (name == QLatin1String("skin_Custom")) {
        const QString file =
            FileDialog::GetOpenFileName(this, QString::fromLatin1(kImageFilter), QStringLiteral("png"));
        if (!file.isEmpty())
            Publish({0, file});
    } else if (name == QLatin1String("skin_close") || name == QLatin1String("closebtn")) {
        Close();
    }
}

} // namespace talyx
