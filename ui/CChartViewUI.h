#pragma once

#include <QList>
#include <QPointF>

#include "ui/CControlUI.h"

namespace talyx {

// A small line chart of points in a fixed value range (sensor curves, audio levels).
class CChartViewUI : public CControlUI {
    Q_OBJECT
public:
    explicit CChartViewUI(QWidget* parent = nullptr);
    QString GetClass() const override { return QStringLiteral("ChartViewUI"); }
    void SetPoints(const QList<QPointF>& points);
    QList<QPointF> GetPoints() const { return m_points; }
    void SetRange(const QRectF& range);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<QPointF> m_points;
    QRectF m_range{0, 0, 100, 100};
};

} // namespace talyx
