#pragma once

#include "ui/CContainerUI.h"

namespace talyx {

// A device's page in the main window: the container its family layout fills. The device
// logic lives in the device's core object; the page shows it.
class CDevicePageUI : public CHorizontalLayoutUI {
    Q_OBJECT
public:
    explicit CDevicePageUI(int family = -1, QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("KestravaUSBDevice"); }
    int Family() const { return m_family; }

private:
    int m_family;
};

} // namespace talyx
