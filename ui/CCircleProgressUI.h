#pragma once

#include "ui/CProgressUI.h"

namespace talyx {

// A progress shown as a ring with the percentage in its middle (downloads, updates).
class CCircleProgressUI : public CProgressUI {
    Q_OBJECT
public:
    explicit CCircleProgressUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("CircleProgressUI"); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_ringWidth = 6;
};

} // namespace talyx
