#include "chart.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace ui {
namespace {

constexpr double LabelGap = 12;    // between two labels of the time axis
constexpr double LegendGap = 14;   // between two entries of the legend
constexpr double GroupShare = 0.8; // of a group's width its bars take
constexpr double EstimatedAlpha = 0.4;
const QString WidestTimeLabel = u"0000-00"_s;

QColor estimatedColour(QColor colour) {
    colour.setAlphaF(EstimatedAlpha); // lighter on any background, black included
    return colour;
}

QList<LegendEntry> legendOf(const ChartData &data, const QRectF &area, const QFontMetricsF &font) {
    QList<ChartSeries> entries = data.barSeries;
    if (std::any_of(data.groups.begin(), data.groups.end(), [](const BarGroup &group) { return group.estimated; }))
        entries.append({EstimatedLegend, estimatedColour(Qt::gray)});
    if (data.groups.isEmpty()) {
        entries.clear();
        for (const ChartLine &line : data.lines) entries.append(line.series);
    }
    QList<LegendEntry> legend;
    const double side = std::round(font.height() * 0.7);
    QPointF at = area.topLeft();
    for (const ChartSeries &series : entries) {
        const double width = side + 4 + font.horizontalAdvance(series.name);
        if (at.x() > area.left() && at.x() + width > area.right()) at = {area.left(), at.y() + font.height()};
        const QRectF swatch(at.x(), at.y() + (font.height() - side) / 2, side, side);
        legend.append({swatch, {swatch.right() + 4, at.y() + font.ascent()}, series.name, series.colour, series.fill});
        at.rx() += width + LegendGap;
    }
    return legend;
}

// The value axis: pages in round steps for bars, 0 to 100 % in quarters for lines.
void layOutValueAxis(ChartLayout &layout, const ChartData &data) {
    if (data.groups.isEmpty()) {
        layout.values = {0, 25, 50, 75, 100};
        for (const double value : layout.values) layout.valueTicks.append({0, u"%1 %"_s.arg(value)});
        return;
    }
    qint64 largest = 0;
    for (const BarGroup &group : data.groups)
        for (const qint64 value : group.values) largest = std::max(largest, value);
    layout.values = roundTicks(double(largest));
    for (const double value : layout.values) layout.valueTicks.append({0, QString::number(qint64(value))});
}

void layOutBars(ChartLayout &layout, const ChartData &data, const QFontMetricsF &font) {
    const QRectF &plot = layout.plot;
    const double top = layout.values.last();
    const qsizetype count = data.groups.size();
    const double groupWidth = plot.width() / double(count);
    const double barWidth = groupWidth * GroupShare / double(std::max<qsizetype>(1, data.barSeries.size()));
    double widest = 0;
    for (const BarGroup &group : data.groups) widest = std::max(widest, font.horizontalAdvance(group.label));
    // Every n-th label where they would crowd, counted from the newest group, which is always named.
    const auto every = std::max<qsizetype>(1, qsizetype(std::ceil((widest + LabelGap) * double(count) / plot.width())));
    for (qsizetype index = 0; index < count; ++index) {
        const BarGroup &group = data.groups[index];
        const double left = plot.left() + double(index) * groupWidth;
        QList<QRectF> bars;
        for (qsizetype series = 0; series < data.barSeries.size(); ++series) {
            const double value = double(std::max<qint64>(0, group.values.value(series)));
            const double height = value / top * plot.height();
            bars.append({left + groupWidth * (1 - GroupShare) / 2 + double(series) * barWidth, plot.bottom() - height,
                         barWidth, height});
        }
        layout.bars.append(bars);
        if ((count - 1 - index) % every == 0) layout.timeTicks.append({left + groupWidth / 2, group.label});
    }
}

// Day or month marks between from and to, at most fitting of them, the finest that fit.
QList<AxisTick> timeTicksOf(const QDateTime &from, const QDateTime &to, const QRectF &plot, int fitting) {
    const auto x = [&](const QDateTime &time) {
        return plot.left() + double(from.msecsTo(time)) / double(from.msecsTo(to)) * plot.width();
    };
    const QDate first = from.time() == QTime(0, 0) ? from.date() : from.date().addDays(1);
    const QDate last = to.date();
    QList<AxisTick> ticks;
    for (const int step : {1, 2, 7, 14}) {
        if (first.daysTo(last) / step + 1 > fitting) continue;
        for (QDate day = first; day <= last; day = day.addDays(step))
            ticks.append({x(QDateTime(day, QTime(0, 0), Qt::UTC)), QLocale::c().toString(day, u"d MMM"_s)});
        return ticks;
    }
    const int months = (last.year() - first.year()) * 12 + last.month() - first.month();
    static const QList<int> monthSteps = {1, 2, 3, 6, 12, 24, 60, 120};
    const int step = *std::find_if(monthSteps.begin(), monthSteps.end() - 1,
                                   [&](int candidate) { return months / candidate + 1 <= fitting; });
    QDate month(first.year(), first.month(), 1);
    if (month < first) month = month.addMonths(1);
    // On the months the step divides the year at: January and July for six.
    while (step <= 12 && (month.month() - 1) % step != 0) month = month.addMonths(1);
    for (; month <= last; month = month.addMonths(step))
        ticks.append({x(QDateTime(month, QTime(0, 0), Qt::UTC)), month.toString(u"yyyy-MM"_s)});
    return ticks;
}

void layOutLines(ChartLayout &layout, const ChartData &data, const QFontMetricsF &font) {
    const QRectF &plot = layout.plot;
    QDateTime from = data.from, to = data.to;
    for (const ChartLine &line : data.lines) {
        if (line.points.isEmpty()) continue;
        if (!data.from.isValid() && (!from.isValid() || line.points.first().time < from))
            from = line.points.first().time;
        if (!data.to.isValid() && (!to.isValid() || line.points.last().time > to)) to = line.points.last().time;
    }
    if (!from.isValid() || !to.isValid()) from = to = QDateTime::currentDateTimeUtc();
    to = std::max(to, from.addDays(1));
    const double span = double(from.msecsTo(to));
    for (const ChartLine &line : data.lines) {
        QPolygonF points;
        for (const auto &[time, percent] : line.points)
            points << QPointF(plot.left() + double(from.msecsTo(time)) / span * plot.width(),
                              plot.bottom() - std::clamp(percent, 0.0, 100.0) / 100 * plot.height());
        layout.lines.append(points);
    }
    const int fitting = std::max(1, int(plot.width() / (font.horizontalAdvance(WidestTimeLabel) + LabelGap)));
    layout.timeTicks = timeTicksOf(from.toUTC(), to.toUTC(), plot, fitting);
}

} // namespace

QList<double> roundTicks(double largest) {
    double step = 1;
    if (largest > 0) {
        const double rough = largest / 5;
        const double power = std::pow(10.0, std::floor(std::log10(rough)));
        for (const double factor : {1.0, 2.0, 5.0, 10.0})
            if ((step = factor * power) >= rough) break;
        step = std::max(step, 1.0); // pages are whole
    }
    QList<double> ticks{0};
    while (ticks.last() < largest || ticks.size() < 2) ticks.append(ticks.last() + step);
    return ticks;
}

ChartLayout chartLayout(const ChartData &data, const QRectF &area, const QFontMetricsF &font) {
    ChartLayout layout;
    if (data.groups.isEmpty() && data.lines.isEmpty()) return layout;
    layout.legend = legendOf(data, area, font);
    layOutValueAxis(layout, data);
    double labelWidth = 0;
    for (const AxisTick &tick : layout.valueTicks)
        labelWidth = std::max(labelWidth, font.horizontalAdvance(tick.label));
    const double legendBottom = layout.legend.isEmpty() ? area.top() : layout.legend.last().textAt.y() + font.descent();
    const double rightMargin = data.groups.isEmpty() ? font.horizontalAdvance(WidestTimeLabel) / 2 : 4;
    layout.plot = QRectF(QPointF(area.left() + labelWidth + 6, legendBottom + font.height() * 0.75),
                         QPointF(area.right() - rightMargin, area.bottom() - font.height() - 4));
    for (qsizetype index = 0; index < layout.values.size(); ++index)
        layout.valueTicks[index].position =
            layout.plot.bottom() - layout.values[index] / layout.values.last() * layout.plot.height();
    if (data.groups.isEmpty())
        layOutLines(layout, data, font);
    else
        layOutBars(layout, data, font);
    return layout;
}

Chart::Chart(QWidget *parent) : QWidget(parent) {}

void Chart::setData(ChartData data) {
    data_ = std::move(data);
    update();
}

ChartLayout Chart::currentLayout() const {
    return chartLayout(data_, QRectF(rect()).adjusted(4, 4, -4, -4), QFontMetricsF(font()));
}

QSize Chart::sizeHint() const { return {560, 240}; }
QSize Chart::minimumSizeHint() const { return {240, 140}; }

void Chart::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ChartLayout layout = currentLayout();
    if (layout.plot.isEmpty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, data_.emptyText);
        return;
    }
    paintAxes(painter, layout);
    data_.groups.isEmpty() ? paintLines(painter, layout) : paintBars(painter, layout);
    paintLegend(painter, layout);
}

void Chart::paintAxes(QPainter &painter, const ChartLayout &layout) const {
    const QRectF &plot = layout.plot;
    const QColor text = palette().color(QPalette::Text);
    QColor grid = palette().color(QPalette::Mid);
    grid.setAlphaF(0.5);
    const double height = QFontMetricsF(font()).height();
    for (const auto &[y, label] : layout.valueTicks) {
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(text);
        painter.drawText(QRectF(rect().left(), y - height / 2, plot.left() - 6 - rect().left(), height),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (const auto &[x, label] : layout.timeTicks) {
        painter.setPen(grid);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 3));
        painter.setPen(text);
        painter.drawText(QRectF(x - 60, plot.bottom() + 4, 120, height), Qt::AlignHCenter | Qt::AlignTop, label);
    }
    painter.setPen(text);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
}

void Chart::paintBars(QPainter &painter, const ChartLayout &layout) const {
    for (qsizetype group = 0; group < layout.bars.size(); ++group) {
        const bool estimated = data_.groups[group].estimated;
        for (qsizetype series = 0; series < layout.bars[group].size(); ++series) {
            const QColor colour = data_.barSeries[series].colour;
            painter.fillRect(layout.bars[group][series], estimated ? estimatedColour(colour) : colour);
        }
    }
}

void Chart::paintLines(QPainter &painter, const ChartLayout &layout) const {
    painter.setClipRect(layout.plot.adjusted(-2, -2, 2, 2));
    for (qsizetype index = 0; index < layout.lines.size(); ++index) {
        const ChartSeries &series = data_.lines[index].series;
        QPen pen(series.colour, 2);
        if (series.fill) pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        const QPolygonF &points = layout.lines[index];
        if (points.size() == 1)
            painter.drawEllipse(points.first(), 2, 2);
        else
            painter.drawPolyline(points);
    }
    painter.setClipping(false);
}

void Chart::paintLegend(QPainter &painter, const ChartLayout &layout) const {
    for (const LegendEntry &entry : layout.legend) {
        painter.fillRect(entry.swatch, entry.colour);
        if (entry.fill) painter.fillRect(entry.swatch, QBrush(palette().color(QPalette::Base), Qt::BDiagPattern));
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(entry.textAt, entry.text);
    }
}

} // namespace ui
