#pragma once

#include "editors/CLightControlUI.h"
#include "tests/support/QtTestSupport.h"
#include "ui/CDialogBuilder.h"
#include "ui/CPaintManagerUI.h"
#include "ui/CResourceManager.h"

namespace talyx::test {

// The shipped skin and its resources, from the build's data folder.
inline void loadSkin(const QString& dataDir = buildDataDir()) {
    CPaintManagerUI::SetInstancePath(dataDir);
    CPaintManagerUI::SetResourcePath(dataDir + "/skin");
    CResourceManager::GetInstance().LoadResource("res.xml");
}

// The lighting page built on its own from the shipped layout; null when it does not build.
inline CLightControlUI* buildLightControlPage(IDialogBuilderCallback* callback, CPaintManagerUI* manager) {
    loadSkin();
    CDialogBuilder builder;
    return qobject_cast<CLightControlUI*>(
        builder.Create(QStringLiteral("XML\\CustomControlXML\\LightControl.xml"), callback, manager));
}

} // namespace talyx::test
