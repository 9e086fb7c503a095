// A small chart of ours on QPainter, for the history view: grouped bars (pages per month, one bar per series in each
// group) or lines over time (supply levels, 0 to 100 %). The data are plain structs, and where everything goes is
// computed apart from the painting (chartLayout), so that a test can check the axes, the bars and the points without
// reading pixels.
#pragma once

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QWidget>

class QFontMetricsF;
class QPainter;

namespace ui {

struct ChartSeries {
    QString name;
    QColor colour;
    bool fill = false; // a receptacle's fill rather than what is left: drawn dashed
};

// One group of bars (a month): a value per series.
struct BarGroup {
    QString label;
    QList<qint64> values;
    bool estimated = false; // drawn lighter, and named so in the legend
};

struct LinePoint {
    QDateTime time;
    double percent = 0;
};

struct ChartLine {
    ChartSeries series;
    QList<LinePoint> points; // in time order
};

// What a chart shows: bars where groups is not empty, lines where lines is not; emptyText otherwise.
struct ChartData {
    QList<ChartSeries> barSeries;
    QList<BarGroup> groups;
    QList<ChartLine> lines;
    QDateTime from, to; // the lines' time axis
    QString emptyText;
};

inline const QString EstimatedLegend = QStringLiteral("estimated");

struct AxisTick {
    double position = 0; // y on the value axis, x on the group or time axis
    QString label;
};

struct LegendEntry {
    QRectF swatch;
    QPointF textAt; // the text's baseline start
    QString text;
    QColor colour;
    bool fill = false;
};

// Where each part of a chart goes in area.
struct ChartLayout {
    QRectF plot;
    QList<double> values;       // the value axis's ticks, from 0 up
    QList<AxisTick> valueTicks; // their height and label
    QList<AxisTick> timeTicks;  // group labels under their groups (every n-th where they would crowd), or dates
    QList<QList<QRectF>> bars;  // per group, per series
    QList<QPolygonF> lines;     // per line
    QList<LegendEntry> legend;
};

// Round ticks from 0 to the first at or above largest, steps of 1, 2 or 5 times a power of ten, about five of them.
QList<double> roundTicks(double largest);

ChartLayout chartLayout(const ChartData &data, const QRectF &area, const QFontMetricsF &font);

class Chart : public QWidget {
    Q_OBJECT
public:
    explicit Chart(QWidget *parent = nullptr);

    void setData(ChartData data);
    const ChartData &data() const { return data_; }
    ChartLayout currentLayout() const; // for the widget's size and font

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintAxes(QPainter &painter, const ChartLayout &layout) const;
    void paintBars(QPainter &painter, const ChartLayout &layout) const;
    void paintLines(QPainter &painter, const ChartLayout &layout) const;
    void paintLegend(QPainter &painter, const ChartLayout &layout) const;

    ChartData data_;
};

} // namespace ui
