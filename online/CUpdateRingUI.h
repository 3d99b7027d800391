#pragma once

#include "ui/CControlUI.h"

class QTimer;

namespace talyx {

// A small ring that turns while the settings window asks the update server.
class CUpdateRingUI : public CControlUI {
    Q_OBJECT
public:
    explicit CUpdateRingUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("UpdateRingUI"); }
    void SetSpinning(bool spinning);
    bool IsSpinning() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer;
    int m_angle = 0;
};

} // namespace talyx
