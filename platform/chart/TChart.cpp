#include "TChart.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTicks = 5;   // tick labels and grid lines, minimum and maximum included
constexpr int kMargin = 2;  // around the whole chart
const QColor kGridColour(96, 96, 96);
const QColor kAxisColour(128, 128, 128);

QString TickText(double v) { return QString::number(v, 'f', 0); }

}  // namespace

TChart::TChart(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
    TitleFont = FootFont = AxisTitleFont = LabelsFont = font();
    ApplyRange();
}

TChart::~TChart() = default;

TLineSeries *TChart::AddSeries(const QColor &colour, bool active) {
    SeriesList.push_back(std::unique_ptr<TLineSeries>(new TLineSeries(this, colour, active)));
    SeriesChanged();
    return SeriesList.back().get();
}

TLineSeries *TChart::Series(int i) const {
    if (i < 0 || i >= SeriesCount()) return nullptr;
    return SeriesList[static_cast<std::size_t>(i)].get();
}

void TChart::SetTitle(const QString &text) {
    TitleText = text;
    Invalidate();
}

void TChart::SetTitleStyle(const QFont &font, const QColor &colour, Qt::Alignment alignment) {
    TitleFont = font;
    TitleColour = colour;
    TitleAlignment = alignment;
    Invalidate();
}

void TChart::SetFoot(const QString &text, const QFont &font, const QColor &colour,
                     Qt::Alignment alignment) {
    FootText = text;
    FootFont = font;
    FootColour = colour;
    FootAlignment = alignment;
    Invalidate();
}

void TChart::SetAxisTitle(const QString &text) {
    AxisTitleText = text;
    Invalidate();
}

void TChart::SetAxisTitleStyle(const QFont &font, const QColor &colour) {
    AxisTitleFont = font;
    AxisTitleColour = colour;
    Invalidate();
}

void TChart::SetAxisLabelsVisible(bool visible) {
    LabelsVisible = visible;
    Invalidate();
}

void TChart::SetAxisLabelsStyle(const QFont &font, const QColor &colour) {
    LabelsFont = font;
    LabelsColour = colour;
    Invalidate();
}

void TChart::SetAutomaticMaximum(bool automatic) {
    AutomaticMaximumOn = automatic;
    ApplyRange();
}

void TChart::SetMaximum(double maximum) {
    FixedMaximum = maximum;
    if (!AutomaticMaximumOn) ApplyRange();
}

void TChart::SetMinimum(double minimum) {
    AxisMinimum = minimum;
    ApplyRange();
}

void TChart::SeriesChanged() {
    if (AutomaticMaximumOn) ApplyRange();
    // Only the lines moved: the decoration and the children over it (outside the plot) stay as
    // painted. A decoration to be redrawn has asked for the whole chart already.
    if (Dirty) {
        update();
    } else {
        update(LinesArea());
    }
}

void TChart::ApplyRange() {
    double top = FixedMaximum;
    if (AutomaticMaximumOn) {
        top = AxisMinimum;
        for (const auto &s : SeriesList) top = std::max(top, s->MaxYValue());
    }
    // An empty, inverted or undefined range would hide every line; keep the axis one unit high.
    if (!(top > AxisMinimum) || !std::isfinite(top)) top = AxisMinimum + 1.0;
    if (top != Top) {
        Top = top;
        Invalidate();  // the tick labels change
    }
}

void TChart::Invalidate() {
    Dirty = true;
    update();
}

QRect TChart::PlotArea() {
    if (Dirty) Layout();
    return Plot;
}

void TChart::Layout() {
    const QFontMetrics title(TitleFont), foot(FootFont), axis(AxisTitleFont), labels(LabelsFont);
    int left = kMargin, top = kMargin, right = width() - 1 - 2 * kMargin,
        bottom = height() - 1 - kMargin;
    if (!TitleText.isEmpty()) top += title.height() + 1;
    if (!FootText.isEmpty()) bottom -= foot.height() + 1;
    if (!AxisTitleText.isEmpty()) left += axis.height() + 2;
    if (LabelsVisible) {
        int widest = 0;
        for (int k = 0; k < kTicks; ++k)
            widest = std::max(widest, labels.horizontalAdvance(TickText(
                                          AxisMinimum + (Top - AxisMinimum) * k / (kTicks - 1))));
        left += widest + 4;
        // The top and bottom labels are centred on their grid lines.
        top += labels.height() / 2;
        bottom -= labels.height() / 2;
    }
    Plot = QRect(QPoint(left, top), QPoint(std::max(left, right), std::max(top, bottom)));
}

void TChart::PaintDecoration() {
    Layout();
    const qreal ratio = devicePixelRatioF();
    Decoration = QPixmap(size() * ratio);
    Decoration.setDevicePixelRatio(ratio);
    Decoration.fill(BackgroundColour());
    QPainter p(&Decoration);
    const QRect all(kMargin, kMargin, width() - 2 * kMargin, height() - 2 * kMargin);

    if (!TitleText.isEmpty()) {
        p.setFont(TitleFont);
        p.setPen(TitleColour);
        p.drawText(all, int(TitleAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop, TitleText);
    }
    if (!FootText.isEmpty()) {
        p.setFont(FootFont);
        p.setPen(FootColour);
        p.drawText(all, int(FootAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignBottom, FootText);
    }
    if (!AxisTitleText.isEmpty()) {
        p.save();
        p.setFont(AxisTitleFont);
        p.setPen(AxisTitleColour);
        // Rotated a quarter turn to the left, centred on the plot's height.
        p.translate(kMargin, Plot.bottom());
        p.rotate(-90);
        p.drawText(QRect(0, 0, Plot.height(), QFontMetrics(AxisTitleFont).height()),
                   Qt::AlignHCenter | Qt::AlignTop, AxisTitleText);
        p.restore();
    }

    const double span = Top - AxisMinimum;
    p.setFont(LabelsFont);
    const QFontMetrics labels(LabelsFont);
    for (int k = 0; k < kTicks; ++k) {
        const int y = Plot.bottom() -
                      static_cast<int>(std::lround(Plot.height() * k / double(kTicks - 1)));
        if (k > 0) {
            p.setPen(QPen(kGridColour, 0, Qt::DotLine));
            p.drawLine(Plot.left() + 1, y, Plot.right(), y);
        }
        if (LabelsVisible) {
            p.setPen(LabelsColour);
            const QString text = TickText(AxisMinimum + span * k / (kTicks - 1));
            p.drawText(QRect(0, y - labels.height() / 2, Plot.left() - 3, labels.height()),
                       Qt::AlignRight | Qt::AlignVCenter, text);
        }
    }
    p.setPen(QPen(kAxisColour, 0));
    p.drawLine(Plot.topLeft(), Plot.bottomLeft());
    Dirty = false;
}

QRect TChart::LinesArea() const { return Plot.adjusted(1, 0, 0, 0); }

void TChart::PaintSeries(QPainter &painter, const TLineSeries &series) {
    constexpr int kCount = TLineSeries::PointCount;
    const double span = Top - AxisMinimum;
    const double low = AxisMinimum - span, high = Top + span;
    const double x0 = Plot.left(), w = Plot.width() - 1;
    const double y0 = Plot.bottom(), h = Plot.height() - 1;
    const std::array<double, kCount> &ys = series.YValues;
    // Every point once: far-off values are held a plot height beyond the edge (the clip cuts
    // them the same). drawn[i]: the segment from point i - 1 to point i is drawn, unless an end
    // is not finite or both ends lie below the minimum.
    std::array<QPointF, kCount> &points = Points;
    std::array<bool, kCount> drawn;
    bool previousFinite = false, previousBelow = false;
    for (int i = 0; i < kCount; ++i) {
        const double v = ys[static_cast<std::size_t>(i)];
        const bool finite = std::isfinite(v), below = v < AxisMinimum;
        const double y = std::min(std::max(v, low), high);
        points[static_cast<std::size_t>(i)] =
            QPointF(x0 + w * i / (kCount - 1), y0 - h * (y - AxisMinimum) / span);
        drawn[static_cast<std::size_t>(i)] = i > 0 && finite && previousFinite &&
                                             !(below && previousBelow);
        previousFinite = finite;
        previousBelow = below;
    }
    // Consecutive drawn segments form one polyline, drawn straight from the points.
    painter.setPen(QPen(series.Colour(), 0));
    int first = -1;  // the first point of the run being collected, -1 none
    for (int i = 1; i < kCount; ++i) {
        if (drawn[static_cast<std::size_t>(i)]) {
            if (first < 0) first = i - 1;
        } else if (first >= 0) {
            painter.drawPolyline(points.data() + first, i - first);
            first = -1;
        }
    }
    if (first >= 0) painter.drawPolyline(points.data() + first, kCount - first);
}

void TChart::paintEvent(QPaintEvent *) {
    if (Dirty || Decoration.size() != size() * devicePixelRatioF()) PaintDecoration();
    QPainter painter(this);
    painter.drawPixmap(0, 0, Decoration);
    if (Plot.width() < 2 || Plot.height() < 2) return;
    painter.setClipRect(LinesArea());
    for (const auto &s : SeriesList)
        if (s->Active()) PaintSeries(painter, *s);
}

void TChart::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Dirty = true;
}

void TChart::mousePressEvent(QMouseEvent *event) {
    Pressed = event->button() == Qt::LeftButton;
    event->accept();
    emit MouseDown(event->button());
}

void TChart::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = Pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    Pressed = false;
    event->accept();
    if (click) emit Clicked();  // last: a handler may hide or re-parent this chart
}

void TChart::mouseDoubleClickEvent(QMouseEvent *event) {
    event->accept();
    emit MouseDown(event->button());
}
