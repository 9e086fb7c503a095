// The history view's chart as laid out (value ticks, bars, group labels thinned where they crowd, the lines' points
// and their time marks) and the monthly usage's CSV text.
#include "ui/chart.h"
#include "ui/historydialog.h"
#include "uitest.h"

#include <QFontMetricsF>
#include <QRegularExpression>

namespace {

using namespace Qt::StringLiterals;

class ChartTest : public uitest::WidgetTest {
protected:
    const QRectF area{0, 0, 400, 200};
    const QFontMetricsF font{QApplication::font()};
};

QStringList labelsOf(const QList<ui::AxisTick> &ticks) {
    QStringList labels;
    for (const ui::AxisTick &tick : ticks) labels << tick.label;
    return labels;
}

TEST_F(ChartTest, RoundTicksReachTheLargestValueInSteps) {
    const QList<std::pair<double, QList<double>>> cases = {
        {0, {0, 1}}, {7, {0, 2, 4, 6, 8}}, {1000, {0, 200, 400, 600, 800, 1000}}, {1234, {0, 500, 1000, 1500}}};
    for (const auto &[largest, ticks] : cases) EXPECT_EQ(ui::roundTicks(largest), ticks) << largest;
}

// Each group's bars side by side from the axis up, as high as their share of the top tick; an estimated group adds
// its legend entry.
TEST_F(ChartTest, BarsStandOnTheAxisAsHighAsTheirValue) {
    ui::ChartData data;
    data.barSeries = {{u"Black and white"_s, Qt::black}, {u"Colour"_s, Qt::cyan}};
    data.groups = {{u"2026-10"_s, {400, 100}}, {u"2026-11"_s, {1234, 0}}, {u"2026-12"_s, {600, 50}, true}};
    const ui::ChartLayout layout = ui::chartLayout(data, area, font);
    const QRectF plot = layout.plot;
    ASSERT_TRUE(area.contains(plot) && !plot.isEmpty());
    EXPECT_EQ(layout.values, (QList<double>{0, 500, 1000, 1500}));
    EXPECT_EQ(labelsOf(layout.valueTicks), (QStringList{u"0"_s, u"500"_s, u"1000"_s, u"1500"_s}));
    EXPECT_DOUBLE_EQ(layout.valueTicks.first().position, plot.bottom());
    EXPECT_DOUBLE_EQ(layout.valueTicks.last().position, plot.top());
    ASSERT_EQ(layout.bars.size(), 3);
    for (const QList<QRectF> &group : layout.bars) {
        ASSERT_EQ(group.size(), 2);
        EXPECT_DOUBLE_EQ(group[0].right(), group[1].left());
        for (const QRectF &bar : group) EXPECT_DOUBLE_EQ(bar.bottom(), plot.bottom());
    }
    EXPECT_DOUBLE_EQ(layout.bars[1][0].height(), plot.height() * 1234 / 1500);
    EXPECT_DOUBLE_EQ(layout.bars[2][1].height(), plot.height() * 50 / 1500);
    EXPECT_EQ(layout.bars[1][1].height(), 0);
    EXPECT_LT(layout.bars[0][1].right(), layout.bars[1][0].left());
    EXPECT_EQ(labelsOf(layout.timeTicks), (QStringList{u"2026-10"_s, u"2026-11"_s, u"2026-12"_s}));
    EXPECT_DOUBLE_EQ(layout.timeTicks[1].position, layout.bars[1][0].right());
    QStringList legend;
    for (const ui::LegendEntry &entry : layout.legend) legend << entry.text;
    EXPECT_EQ(legend, (QStringList{u"Black and white"_s, u"Colour"_s, ui::EstimatedLegend}));

    // Two years in a narrow chart: every n-th month named, the newest always.
    data.groups.clear();
    for (int month = 1; month <= 24; ++month)
        data.groups.append({QDate(2025, 1, 1).addMonths(month - 1).toString(u"yyyy-MM"_s), {month, 0}});
    const QStringList shown = labelsOf(ui::chartLayout(data, QRectF(0, 0, 300, 150), font).timeTicks);
    EXPECT_LT(shown.size(), 12);
    EXPECT_EQ(shown.last(), u"2026-12"_s);
}

// A level's point lies at its share of the time axis and of 0 to 100 %; the time marks are days for a short span and
// months for a long one.
TEST_F(ChartTest, LinePointsFollowTimeAndLevel) {
    const QDateTime start(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC);
    ui::ChartData data;
    data.lines = {{{u"Black toner"_s, Qt::black}, {{start, 100}, {start.addDays(10), 90}, {start.addDays(20), 75}}},
                  {{u"Waste toner"_s, Qt::gray, true}, {{start.addDays(5), 20}}}};
    data.from = start;
    data.to = start.addDays(20);
    const ui::ChartLayout layout = ui::chartLayout(data, area, font);
    const QRectF plot = layout.plot;
    EXPECT_EQ(labelsOf(layout.valueTicks), (QStringList{u"0 %"_s, u"25 %"_s, u"50 %"_s, u"75 %"_s, u"100 %"_s}));
    ASSERT_EQ(layout.lines.size(), 2);
    EXPECT_EQ(layout.lines[0], (QPolygonF{plot.topLeft(),
                                          {plot.center().x(), plot.bottom() - plot.height() * 0.9},
                                          {plot.right(), layout.valueTicks[3].position}}));
    EXPECT_EQ(layout.lines[1], (QPolygonF{{plot.left() + plot.width() / 4, plot.bottom() - plot.height() / 5}}));
    ASSERT_FALSE(layout.timeTicks.isEmpty());
    EXPECT_EQ(layout.timeTicks.first().label, u"1 Nov"_s);
    EXPECT_DOUBLE_EQ(layout.timeTicks.first().position, plot.left());
    for (qsizetype index = 1; index < layout.timeTicks.size(); ++index)
        EXPECT_GT(layout.timeTicks[index].position, layout.timeTicks[index - 1].position);

    data.from = start.addYears(-2);
    const QStringList months = labelsOf(ui::chartLayout(data, area, font).timeTicks);
    EXPECT_TRUE(months.size() >= 2 && months.size() <= 12) << months.join(u' ').toStdString();
    EXPECT_EQ(months.filter(QRegularExpression(u"^20\\d\\d-\\d\\d$"_s)), months);
}

TEST(UsageCsv, FieldsQuotedWhereTheyMustBe) {
    store::Usage hall{u"hall \"A\", 2"_s, QDate(2026, 11, 1), u"2026-11"_s, 1200, 300, true};
    store::Usage lab{u"lab"_s, QDate(2026, 12, 1), u"2026-12"_s, 40, 0, false};
    EXPECT_EQ(ui::usageCsv({hall, lab}), u"Host,Month,Black and white,Colour,Complete\r\n"
                                         "\"hall \"\"A\"\", 2\",2026-11,1200,300,yes\r\n"
                                         "lab,2026-12,40,0,no\r\n"_s);
}

} // namespace
