#include "ui/CPaintManagerUI.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "ui/Accessibility.h"
#include "ui/CControlUI.h"
#include "ui/COptionUI.h"

namespace talyx {
namespace {

QString g_instancePath;
QString g_resourcePath;
int g_resourceType = CPaintManagerUI::kResourceFile;
QList<CPaintManagerUI*> g_managers;

QString withSlash(QString path) {
    path.replace('\\', '/');
    if (!path.isEmpty() && !path.endsWith('/'))
        path += '/';
    return path;
}

} // namespace

CPaintManagerUI::CPaintManagerUI(QWidget* paintWindow) : m_window(paintWindow) {
    g_managers.append(this);
    InstallAccessibility();
}

CPaintManagerUI::~CPaintManagerUI() {
    g_managers.removeAll(this);
    if (m_root) {
        m_root->ForgetManager();
        for (CControlUI* c : m_root->findChildren<CControlUI*>())
            c->ForgetManager();
    }
    qDeleteAll(m_timers);
}

void CPaintManagerUI::SetInstancePath(const QString& path) {
    g_instancePath = withSlash(path);
}

QString CPaintManagerUI::GetInstancePath() {
    if (g_instancePath.isEmpty())
        g_instancePath = withSlash(QString::fromStdString(ProgramDataDir()));
    return g_instancePath;
}

void CPaintManagerUI::SetResourcePath(const QString& path) {
    g_resourcePath = withSlash(path);
}

QString CPaintManagerUI::GetResourcePath() {
    if (g_resourcePath.isEmpty())
        g_resourcePath = GetInstancePath() + QStringLiteral("skin/");
    return g_resourcePath;
}

void CPaintManagerUI::SetResourceType(int type) {
    g_resourceType = type;
}
int CPaintManagerUI::GetResourceType() {
    return g_resourceType;
}

int CPaintManagerUI::MessageLoop() {
    return QApplication::exec();
}

const QList<CPaintManagerUI*>& CPaintManagerUI::AllManagers() {
    return g_managers;
}

void CPaintManagerUI::SetAllDPI(int dpi) {
    for (CPaintManagerUI* m : g_managers)
        m->SetDPI(dpi);
}

void CPaintManagerUI::AttachDialog(CControlUI* root) {
    m_root = root;
    if (root)
        root->SetManager(this);
}

CControlUI* CPaintManagerUI::FindControl(const QString& name) const {
    if (!m_root || name.isEmpty())
        return nullptr;
    if (m_root->objectName() == name)
        return m_root;
    return m_root->findChild<CControlUI*>(name);
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const QString& name) {
    return parent ? parent->FindSubControl(name) : nullptr;
}

void CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
    if (notifier && !m_notifiers.contains(notifier))
        m_notifiers.append(notifier);
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
    m_notifiers.removeAll(notifier);
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const QString& type, WPARAM wParam, LPARAM lParam, bool async) {
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.dwTimestamp = GetTickCount();
    if (!async && QThread::currentThread() == thread()) {
        deliver(msg);
        return;
    }
    QPointer<CControlUI> guard(sender);
    QMetaObject::invokeMethod(
        this,
        [this, msg, guard, hadSender = sender != nullptr] {
            if (hadSender && !guard)
                return;
            deliver(msg);
        },
        Qt::QueuedConnection);
}

void CPaintManagerUI::deliver(TNotifyUI msg) {
    const auto notifiers = m_notifiers;
    for (INotifyUI* n : notifiers) {
        if (m_notifiers.contains(n))
            n->Notify(msg);
    }
}

bool CPaintManagerUI::SetTimer(CControlUI* control, int id, int elapseMs) {
    if (!control)
        return false;
    if (QThread::currentThread() != thread()) {
        QPointer<CControlUI> guard(control);
        QMetaObject::invokeMethod(
            this,
            [this, guard, id, elapseMs] {
                if (guard)
                    SetTimer(guard, id, elapseMs);
            },
            Qt::QueuedConnection);
        return true;
    }
    const auto key = qMakePair(control, id);
    QTimer* timer = m_timers.value(key);
    if (!timer) {
        timer = new QTimer(this);
        // Frame and tick timers of 10 to 50 ms must keep their period; longer ones may
        // be coalesced by the system to save wake-ups.
        timer->setTimerType(elapseMs < 100 ? Qt::PreciseTimer : Qt::CoarseTimer);
        QPointer<CControlUI> guard(control);
        connect(timer, &QTimer::timeout, this, [guard, id] {
            if (guard)
                guard->OnTimer(id);
        });
        m_timers.insert(key, timer);
    }
    timer->start(qMax(0, elapseMs));
    return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, int id) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, control, id] { KillTimer(control, id); }, Qt::QueuedConnection);
        return true;
    }
    QTimer* timer = m_timers.take(qMakePair(control, id));
    if (!timer)
        return false;
    timer->stop();
    timer->deleteLater();
    return true;
}

void CPaintManagerUI::KillTimers(CControlUI* control) {
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it.key().first == control) {
            it.value()->stop();
            it.value()->deleteLater();
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

bool CPaintManagerUI::HasTimer(CControlUI* control, int id) const {
    QTimer* t = m_timers.value(qMakePair(control, id));
    return t && t->isActive();
}

QMap<int, CPaintManagerUI::FontInfo>& CPaintManagerUI::sharedFonts() {
    static QMap<int, FontInfo> fonts;
    return fonts;
}

void CPaintManagerUI::AddFont(int id, const QString& face, int size, bool bold, bool underline, bool italic,
                              bool shared) {
    FontInfo info{face, size, bold, underline, italic};
    if (shared)
        sharedFonts().insert(id, info);
    else
        m_fonts.insert(id, info);
    if (m_root)
        m_root->update();
}

void CPaintManagerUI::SetDefaultFont(const QString& face, int size, bool bold, bool underline, bool italic,
                                     bool shared) {
    AddFont(-1, face, size, bold, underline, italic, shared);
}

QFont CPaintManagerUI::makeFont(const FontInfo& info) const {
    QFont f(info.face);
    f.setPixelSize(qMax(1, Scale(info.size)));
    f.setBold(info.bold);
    f.setUnderline(info.underline);
    f.setItalic(info.italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont CPaintManagerUI::GetFont(int id) const {
    auto it = m_fonts.find(id);
    if (it != m_fonts.end())
        return makeFont(*it);
    auto shared = sharedFonts().find(id);
    if (shared != sharedFonts().end())
        return makeFont(*shared);
    if (id != -1)
        return GetFont(-1);
    FontInfo fallback;
    fallback.face = QApplication::font().family();
    return makeFont(fallback);
}

bool CPaintManagerUI::HasFont(int id) const {
    return m_fonts.contains(id) || sharedFonts().contains(id);
}

void CPaintManagerUI::RemoveAllFonts() {
    m_fonts.clear();
    sharedFonts().clear();
}

int CPaintManagerUI::FontCount() const {
    return static_cast<int>(m_fonts.size() + sharedFonts().size());
}

void CPaintManagerUI::AddDefaultAttributeList(const QString& className, const QString& list) {
    m_defaultAttributes.insert(className.toLower(), list);
}

QString CPaintManagerUI::GetDefaultAttributeList(const QString& className) const {
    return m_defaultAttributes.value(className.toLower());
}

void CPaintManagerUI::AddOptionGroup(const QString& group, COptionUI* option) {
    auto& list = m_optionGroups[group];
    if (!list.contains(option))
        list.append(option);
}

void CPaintManagerUI::RemoveOptionGroup(const QString& group, COptionUI* option) {
    m_optionGroups[group].removeAll(option);
}

QList<COptionUI*> CPaintManagerUI::GetOptionGroup(const QString& group) const {
    QList<COptionUI*> out;
    for (const auto& p : m_optionGroups.value(group))
        if (p)
            out.append(p);
    return out;
}

void CPaintManagerUI::SetDPI(int dpi) {
    if (dpi <= 0 || dpi == m_dpi)
        return;
    m_dpi = dpi;
    ResetDPIAssets();
}

void CPaintManagerUI::ResetDPIAssets() {
    if (m_root)
        m_root->OnScaleChanged();
    if (m_window)
        m_window->update();
}

int CPaintManagerUI::Scale(int logical) const {
    return m_dpi == 96 ? logical : qRound(logical * m_dpi / 96.0);
}

} // namespace talyx
