#pragma once

// The editor pages as containers. Each page's controls come from its own sub-layout
// ("XML/CustomControlXML/...") and its behaviour from the editor that owns it.

#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "ui/CContainerUI.h"

namespace talyx {

#define TALYX_EDITOR_PAGE(ClassName, ClassText)                                                                        \
    class ClassName : public CVerticalLayoutUI {                                                                       \
    public:                                                                                                            \
        using CVerticalLayoutUI::CVerticalLayoutUI;                                                                    \
        QString GetClass() const override { return QStringLiteral(ClassText); }                                        \
    };

TALYX_EDITOR_PAGE(CDeviceProfileUI, "DeviceProfileUI")
TALYX_EDITOR_PAGE(CShootControlUI, "ShootControlUI")
TALYX_EDITOR_PAGE(CMagicControlUI, "MagicControlUI")
TALYX_EDITOR_PAGE(CVoice6533ControlUI, "Voice6533ControlUI")

#undef TALYX_EDITOR_PAGE

} // namespace talyx
