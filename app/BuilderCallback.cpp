#include "app/BuilderCallback.h"

#include "app/CDeviceOptionUI.h"
#include "app/CDevicePageUI.h"
#include "device/transport/DeviceIdentification.h"
#include "editors/CLightControlUI.h"
#include "editors/EditorPages.h"
#include "ui/CCircleProgressUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDialogBuilder.h"
#include "ui/CSelectPanelUI.h"
#include "ui/CSimpleControls.h"

namespace talyx {
namespace {

struct TagEntry {
    const char* tag;
    CControlUI* (*create)();
    const char* subLayout; // built instead when set
};

template <class T> CControlUI* make() {
    return new T;
}

const TagEntry kTags[] = {
    {"CircleProgress", make<CCircleProgressUI>, nullptr},
    {"SelectPanel", make<CSelectPanelUI>, nullptr},
    {"DeviceKeyButton", make<CDeviceKeyButtonUI>, nullptr},
    {"HandImgButton", make<CHandImgButtonUI>, nullptr},
    {"AudioRecord", make<CAudioRecordUI>, nullptr},
    {"HandImgSelectButton", make<CHandImgSelectButtonUI>, nullptr},
    {"RedioMacroButton", make<CRedioMacroButtonUI>, nullptr},
    {"ComboEditContainerElement", make<CComboEditContainerElementUI>, nullptr},
    {"KestravaMousePadDevice", []() -> CControlUI* { return new CDevicePageUI(DeviceTypeMousePad); }, nullptr},
    {"KestravaHS6533Device", []() -> CControlUI* { return new CDevicePageUI(DeviceTypeHeadset); }, nullptr},
    {"KestravaMouseDevice", []() -> CControlUI* { return new CDevicePageUI(DeviceTypeMouse); }, nullptr},
    {"KestravaKeyboardDevice", []() -> CControlUI* { return new CDevicePageUI(DeviceTypeKeyboard); }, nullptr},
    {"DeviceProfile", make<CDeviceProfileUI>, nullptr},
    {"LightControl", make<CLightControlUI>, nullptr},
    {"MagicControl", make<CMagicControlUI>, nullptr},
    {"Voice6533Control", make<CVoice6533ControlUI>, nullptr},
    {"KeySetControl", make<CKeySetControlUI>, nullptr},
    {"MacroControl", make<CMacroControlUI>, nullptr},
    {"ShootControl", make<CShootControlUI>, nullptr},
    {"DeviceProfileUI", nullptr, "XML\\CustomControlXML\\DeviceProfile.xml"},
    {"LightSetControlUI", nullptr, "XML\\CustomControlXML\\LightControl.xml"},
    {"Voice6533SetControlUI", nullptr, "XML\\CustomControlXML\\Voice6533Control.xml"},
    {"MagicSetControlUI", nullptr, "XML\\CustomControlXML\\MagicControl.xml"},
    {"KeySetControlUI", nullptr, "XML\\CustomControlXML\\KeySetControl.xml"},
    {"MacroSetControlUI", nullptr, "XML\\CustomControlXML\\MacroControl.xml"},
    {"ShootKeySetControlUI", nullptr, "XML\\CustomControlXML\\ShootControl.xml"},
    {"VirtualSetControlUI", nullptr, "XML\\CustomControlXML\\VirtualSet.xml"},
};

} // namespace

CControlUI* AppBuilderCallback::CreateControl(const QString& className) {
    for (const TagEntry& entry : kTags) {
        if (className.compare(QLatin1String(entry.tag), Qt::CaseInsensitive) != 0)
            continue;
        if (entry.subLayout) {
            CDialogBuilder builder;
            return builder.Create(QString::fromLatin1(entry.subLayout), this, m_manager);
        }
        return entry.create();
    }
    return nullptr;
}

} // namespace talyx
