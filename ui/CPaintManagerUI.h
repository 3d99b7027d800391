#pragma once

#include <QFont>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <cstdint>

#include "ui/CControlUI.h"
#include "ui/UIDefs.h"

class QTimer;
class QWidget;

namespace talyx {

class CControlUI;
class COptionUI;

// One per window: the control tree, name lookup, notifications, control timers, fonts,
// default attributes and the DPI. Everything runs on the window's thread, except
// SetTimer, KillTimer and SendNotify, which may be called from any thread: they are
// carried over to the window's thread.
class CPaintManagerUI : public QObject {
    Q_OBJECT
public:
    explicit CPaintManagerUI(QWidget* paintWindow = nullptr);
    ~CPaintManagerUI() override;

    // Process-wide settings. The instance path is the program data folder; the
    // resource path is where layouts and images are found (instance path + "skin/").
    static void SetInstancePath(const QString& path);
    static QString GetInstancePath();
    static void SetResourcePath(const QString& path);
    static QString GetResourcePath();
    enum ResourceType { kResourceFile = 1, kResourceZip = 2 };
    static void SetResourceType(int type);
    static int GetResourceType();
    // Runs the message loop until the program quits; returns its exit code.
    static int MessageLoop();
    static const QList<CPaintManagerUI*>& AllManagers();
    // Applies a DPI to every window.
    static void SetAllDPI(int dpi);

    QWidget* GetPaintWindow() const { return m_window; }
    void AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return m_root; }

    CControlUI* FindControl(const QString& name) const;
    static CControlUI* FindSubControlByName(CControlUI* parent, const QString& name);

    void AddNotifier(INotifyUI* notifier);
    void RemoveNotifier(INotifyUI* notifier);
    // Delivers a notification to every notifier. From another thread, or with async,
    // it is queued to the window's thread; a sender deleted meanwhile drops it.
    void SendNotify(CControlUI* sender, const QString& type, WPARAM wParam = 0, LPARAM lParam = 0, bool async = false);

    // Control timers: after `elapseMs` and then every `elapseMs`, the control's OnTimer
    // runs with the id (by default it raises "timer"). Setting a running timer restarts it.
    bool SetTimer(CControlUI* control, int id, int elapseMs);
    bool KillTimer(CControlUI* control, int id);
    void KillTimers(CControlUI* control);
    bool HasTimer(CControlUI* control, int id) const;

    // Fonts by id; sizes are toolkit units (pixels at 96 DPI). id -1 is the default font.
    void AddFont(int id, const QString& face, int size, bool bold, bool underline, bool italic, bool shared);
    void SetDefaultFont(const QString& face, int size, bool bold, bool underline, bool italic, bool shared);
    QFont GetFont(int id) const;
    bool HasFont(int id) const;
    // Removes the shared and the own fonts.
    void RemoveAllFonts();
    int FontCount() const;

    void AddDefaultAttributeList(const QString& className, const QString& list);
    QString GetDefaultAttributeList(const QString& className) const;
    uint32_t GetDefaultTextColor() const { return m_defaultTextColor; }
    void SetDefaultTextColor(uint32_t argb) { m_defaultTextColor = argb; }

    // Option groups: selecting one option deselects the others of its group.
    void AddOptionGroup(const QString& group, COptionUI* option);
    void RemoveOptionGroup(const QString& group, COptionUI* option);
    QList<COptionUI*> GetOptionGroup(const QString& group) const;

    void SetDPI(int dpi);
    int GetDPI() const { return m_dpi; }
    void ResetDPIAssets();
    int Scale(int logical) const;
    double ScaleFactor() const { return m_dpi / 96.0; }

private:
    struct FontInfo {
        QString face;
        int size = 12;
        bool bold = false;
        bool underline = false;
        bool italic = false;
    };
    void deliver(TNotifyUI msg);
    QFont makeFont(const FontInfo& info) const;
    static QMap<int, FontInfo>& sharedFonts();

    QWidget* m_window;
    QPointer<CControlUI> m_root;
    QList<INotifyUI*> m_notifiers;
    QHash<QPair<CControlUI*, int>, QTimer*> m_timers;
    QMap<int, FontInfo> m_fonts;
    QHash<QString, QString> m_defaultAttributes;
    QHash<QString, QList<QPointer<COptionUI>>> m_optionGroups;
    uint32_t m_defaultTextColor = 0xFFE8EAF0;
    int m_dpi = 96;
};

} // namespace talyx
