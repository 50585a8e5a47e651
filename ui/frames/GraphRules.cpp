#include "GraphRules.h"

#include "DBServerInfoSource.h"
#include "TChart.h"
#include "TLineSeries.h"

#include <QLabel>
#include <QString>

#include <array>

namespace kivra {

void FeedSeries(TLineSeries *series, const TDBServerInfo &server, TServerStatistic stat) {
    std::array<double, TLineSeries::PointCount> values;
    static_assert(TLineSeries::PointCount == TDBServerInfo::kHistorySize,
                  "one point per history sample");
    for (int i = 0; i < TLineSeries::PointCount; ++i)
        values[static_cast<std::size_t>(i)] = server.GetStatistic(stat, i);
    series->SetYValues(values.data(), values.size());
}

int LargestMaximum(const TDBServerInfo &server, std::initializer_list<TServerStatistic> stats) {
    int largest = 0;
    for (TServerStatistic stat : stats) {
        const int m = server.GetStatisticMax(stat);
        if (m > largest) largest = m;
    }
    return largest;
}

void ApplyAxisRule(TChart *chart, int largest, int threshold) {
    if (largest >= threshold) {
        chart->SetAutomaticMaximum(true);
    } else {
        FixAxis(chart, threshold);
    }
}

void FixAxis(TChart *chart, double maximum) {
    chart->SetAutomaticMaximum(false);
    chart->SetMaximum(maximum);
}

void WriteValueLabel(QLabel *label, const char *prefix, const TDBServerInfo &server,
                     TServerStatistic stat, const char *suffix) {
    const int value = server.GetStatistic(stat, TDBServerInfo::kHistorySize - 1);
    SetLabelText(label, QLatin1String(prefix) + QString::number(value) + QLatin1String(suffix));
}

void SetLabelText(QLabel *label, const QString &text) {
    if (label->text() != text) label->setText(text);
}

}  // namespace kivra
