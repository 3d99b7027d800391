#pragma once

#include <QPointer>

#include "ui/CContainerUI.h"

namespace talyx {

class CDevicePageUI;

// A device's item in the device selector: a container (picture, name, status) that the
// user selects to show the device's page. One item of the selector is selected at a time.
// Its control timers run its page's schedule.
class CDeviceOptionUI : public CHorizontalLayoutUI {
    Q_OBJECT
    // Read by the accessibility layer: the item is a tab whose selected state it reports.
    Q_PROPERTY(bool selected READ IsSelected)
public:
    explicit CDeviceOptionUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("DeviceOptionUI"); }

    bool IsSelected() const { return m_selected; }
    // Selects or clears the item; selecting clears the other items of the selector. With
    // triggerEvent a change raises "selectchanged".
    void Selected(bool selected, bool triggerEvent = true);

    // The tabs of "device_switch" and "device_power_switch" this item selects (-1: none).
    int GetDeviceTab() const { return m_deviceTab; }
    int GetPowerTab() const { return m_powerTab; }
    void SetTabs(int deviceTab, int powerTab);
    void SetPage(CDevicePageUI* page) { m_page = page; }
    CDevicePageUI* Page() const { return m_page; }
    void OnTimer(int id) override;
    void SetAttribute(const QString& name, const QString& value) override;

protected:
    bool CachesBackground() const override { return false; }
    void mousePressEvent(QMouseEvent* event) override;
    void PaintBkColor(QPainter& p) override;
    void PaintBorder(QPainter& p) override;
    void PaintStatusImage(QPainter& p) override;
    void PaintText(QPainter& p) override;

private:
    QString m_selectedImage;
    uint32_t m_hotTextColor = 0;
    uint32_t m_selectedTextColor = 0;
    bool m_selected = false;
    uint32_t m_selectedBkColor = 0;
    uint32_t m_selectedBorderColor = 0;
    int m_deviceTab = -1;
    int m_powerTab = -1;
    QPointer<CDevicePageUI> m_page;
};

} // namespace talyx
