#pragma once

#include <QString>

#include "ui/UIDefs.h"

namespace talyx {

class CPaintManagerUI;

// The main window's builder callback: the program's controls and sub-layouts by the tag
// names the layouts use (compared without regard to case). Any other tag gives nullptr
// and the toolkit handles it.
class AppBuilderCallback : public IDialogBuilderCallback {
public:
    explicit AppBuilderCallback(CPaintManagerUI* manager) : m_manager(manager) {}
    CControlUI* CreateControl(const QString& className) override;

private:
    CPaintManagerUI* m_manager;
};

} // namespace talyx
