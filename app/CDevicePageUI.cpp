#include "app/CDevicePageUI.h"

namespace talyx {

CDevicePageUI::CDevicePageUI(int family, QWidget* parent) : CHorizontalLayoutUI(parent), m_family(family) {}

} // namespace talyx
