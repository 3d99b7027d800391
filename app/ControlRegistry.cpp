#include "app/ControlRegistry.h"

#include <functional>

#include "app/CDeviceOptionUI.h"
#include "app/CDevicePageUI.h"
#include "device/transport/DeviceIdentification.h"
#include "editors/CLightControlUI.h"
#include "editors/EditorPages.h"
#include "online/CUpdateInfoListItemUI.h"
#include "ui/CChartViewUI.h"
#include "ui/CCircleProgressUI.h"
#include "ui/CControlFactory.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/CSimpleControls.h"

namespace talyx {
namespace {

struct ControlClass {
    const char* name;
    CControlUI* (*create)();
};

template <class T> CControlUI* make() {
    return new T;
}

const ControlClass kControlClasses[] = {
    {"CCircleProgressUI", make<CCircleProgressUI>},
    {"CChartViewUI", make<CChartViewUI>},
    {"CWndUI", make<CWndUI>},
    {"CSelectPanelUI", make<CSelectPanelUI>},
    {"CDeviceKeyButtonUI", make<CDeviceKeyButtonUI>},
    {"CCloudShareListItemUI", make<CCloudShareListItemUI>},
    {"CUpdateInfoListItemUI", make<CUpdateInfoListItemUI>},
    {"CDeviceOptionUI", make<CDeviceOptionUI>},
    {"CMpDevicePowerUI", make<CMpDevicePowerUI>},
    {"CComboEditContainerElementUI", make<CComboEditContainerElementUI>},
    {"CHandImgButtonUI", make<CHandImgButtonUI>},
    {"CHandImgSelectButtonUI", make<CHandImgSelectButtonUI>},
    {"CRedioMacroButtonUI", make<CRedioMacroButtonUI>},
    {"CAudioRecordUI", make<CAudioRecordUI>},
    {"CLightControlUI", make<CLightControlUI>},
    {"CMacroControlUI", make<CMacroControlUI>},
    {"CKeySetControlUI", make<CKeySetControlUI>},
    {"CDeviceProfileUI", make<CDeviceProfileUI>},
    {"CShootControlUI", make<CShootControlUI>},
    {"CMagicControlUI", make<CMagicControlUI>},
    {"CVoice6533ControlUI", make<CVoice6533ControlUI>},
    {"CKestravaUSBDevice", []() -> CControlUI* { return new CDevicePageUI(-1); }},
    {"CKestravaMousePadDevice", []() -> CControlUI* { return new CDevicePageUI(DeviceTypeMousePad); }},
    {"CKestravaHS6533Device", []() -> CControlUI* { return new CDevicePageUI(DeviceTypeHeadset); }},
};

} // namespace

QStringList RegisterControlClasses() {
    QStringList names;
    CControlFactory& factory = CControlFactory::GetInstance();
    for (const ControlClass& c : kControlClasses) {
        factory.RegistControl(QString::fromLatin1(c.name), c.create);
        names.append(QString::fromLatin1(c.name));
    }
    return names;
}

} // namespace talyx
