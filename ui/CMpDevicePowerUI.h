#pragma once

#include <array>

#include "ui/CControlUI.h"

namespace talyx {

// The battery indicator of a wireless-capable device. It shows the device's status
// bytes: byte 0 the charge in percent (0..100), byte 1 nonzero while charging, byte 3
// nonzero when the device is wireless-capable (otherwise nothing is drawn).
class CMpDevicePowerUI : public CControlUI {
    Q_OBJECT
public:
    explicit CMpDevicePowerUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("MpDevicePowerUI"); }
    void SetStatus(const std::array<uint8_t, 6>& status);
    int GetLevel() const { return m_status[0]; }
    bool IsCharging() const { return m_status[1] != 0; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<uint8_t, 6> m_status{};
};

} // namespace talyx
