#pragma once
// What the graph tiles and the large graphs do alike at a refresh: feed a line from one statistic
// of the model's 120-sample history, set a chart's left axis by the history's largest value, and
// write a value label. No allocation but the label texts, and those only when they change.
//
// Main thread only; the model is read, never changed.

#include "ServerRecords.h"

#include <initializer_list>

class QLabel;
class QString;
class TChart;
class TDBServerInfo;
class TLineSeries;

namespace kivra {

// Writes statistic stat of samples 0..119 (oldest first) into the series' points 0..119.
void FeedSeries(TLineSeries *series, const TDBServerInfo &server, TServerStatistic stat);

// The largest history maximum among stats (0 when no sample is above 0).
int LargestMaximum(const TDBServerInfo &server, std::initializer_list<TServerStatistic> stats);

// The left axis follows the data when largest reaches threshold; otherwise it is fixed at
// threshold. The minimum stays as it is.
void ApplyAxisRule(TChart *chart, int largest, int threshold);

// Fixes the left axis at maximum.
void FixAxis(TChart *chart, double maximum);

// label = prefix, the statistic's current value (sample 119) in decimal, suffix.
void WriteValueLabel(QLabel *label, const char *prefix, const TDBServerInfo &server,
                     TServerStatistic stat, const char *suffix = "");

// Sets the label's text when it differs (a label relays itself out on every change).
void SetLabelText(QLabel *label, const QString &text);

}  // namespace kivra
