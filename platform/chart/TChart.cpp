#include "TChart.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTicks = 5;         // tick labels and grid lines, minimum and maximum included
constexpr int kMargin = 2;        // around the whole chart
const QColor kGridColour(96, 96, 96);
const QColor kAxisColour(128, 128, 128);

QString TickText(double v) { return QString::number(v, 'f', 0); }

}  // namespace

TChart::TChart(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
    m_titleFont = m_footFont = m_axisTitleFont = m_labelsFont = font();
    ApplyRange();
}

TChart::~TChart() = default;

TLineSeries *TChart::AddSeries(const QColor &colour, bool active) {
    m_series.push_back(std::unique_ptr<TLineSeries>(new TLineSeries(this, colour, active)));
    SeriesChanged();
    return m_series.back().get();
}

TLineSeries *TChart::Series(int i) const {
    if (i < 0 || i >= SeriesCount()) return nullptr;
    return m_series[static_cast<std::size_t>(i)].get();
}

void TChart::SetTitle(const QString &text) {
    m_title = text;
    Invalidate();
}

void TChart::SetTitleStyle(const QFont &font, const QColor &colour, Qt::Alignment alignment) {
    m_titleFont = font;
    m_titleColour = colour;
    m_titleAlignment = alignment;
    Invalidate();
}

void TChart::SetFoot(const QString &text, const QFont &font, const QColor &colour,
                     Qt::Alignment alignment) {
    m_foot = text;
    m_footFont = font;
    m_footColour = colour;
    m_footAlignment = alignment;
    Invalidate();
}

void TChart::SetAxisTitle(const QString &text) {
    m_axisTitle = text;
    Invalidate();
}

void TChart::SetAxisTitleStyle(const QFont &font, const QColor &colour) {
    m_axisTitleFont = font;
    m_axisTitleColour = colour;
    Invalidate();
}

void TChart::SetAxisLabelsVisible(bool visible) {
    m_labelsVisible = visible;
    Invalidate();
}

void TChart::SetAxisLabelsStyle(const QFont &font, const QColor &colour) {
    m_labelsFont = font;
    m_labelsColour = colour;
    Invalidate();
}

void TChart::SetAutomaticMaximum(bool automatic) {
    m_automaticMaximum = automatic;
    ApplyRange();
}

void TChart::SetMaximum(double maximum) {
    m_fixedMaximum = maximum;
    if (!m_automaticMaximum) ApplyRange();
}

void TChart::SetMinimum(double minimum) {
    m_minimum = minimum;
    ApplyRange();
}

void TChart::SeriesChanged() {
    if (m_automaticMaximum) ApplyRange();
    // Only the lines moved: the decoration and the children over it (outside the plot) stay as
    // painted. A decoration to be redrawn has asked for the whole chart already.
    if (m_dirty) {
        update();
    } else {
        update(LinesArea());
    }
}

void TChart::ApplyRange() {
    double top = m_fixedMaximum;
    if (m_automaticMaximum) {
        top = m_minimum;
        for (const auto &s : m_series) top = std::max(top, s->MaxYValue());
    }
    // An empty, inverted or undefined range would hide every line; keep the axis one unit high.
    if (!(top > m_minimum) || !std::isfinite(top)) top = m_minimum + 1.0;
    if (top != m_top) {
        m_top = top;
        Invalidate();  // the tick labels change
    }
}

void TChart::Invalidate() {
    m_dirty = true;
    update();
}

QRect TChart::PlotArea() {
    if (m_dirty) Layout();
    return m_plot;
}

void TChart::Layout() {
    const QFontMetrics title(m_titleFont), foot(m_footFont), axis(m_axisTitleFont),
        labels(m_labelsFont);
    int left = kMargin, top = kMargin, right = width() - 1 - 2 * kMargin,
        bottom = height() - 1 - kMargin;
    if (!m_title.isEmpty()) top += title.height() + 1;
    if (!m_foot.isEmpty()) bottom -= foot.height() + 1;
    if (!m_axisTitle.isEmpty()) left += axis.height() + 2;
    if (m_labelsVisible) {
        int widest = 0;
        for (int k = 0; k < kTicks; ++k)
            widest = std::max(widest, labels.horizontalAdvance(
                                          TickText(m_minimum + (m_top - m_minimum) * k / (kTicks - 1))));
        left += widest + 4;
        // The top and bottom labels are centred on their grid lines.
        top += labels.height() / 2;
        bottom -= labels.height() / 2;
    }
    m_plot = QRect(QPoint(left, top), QPoint(std::max(left, right), std::max(top, bottom)));
}

void TChart::PaintDecoration() {
    Layout();
    const qreal ratio = devicePixelRatioF();
    m_decoration = QPixmap(size() * ratio);
    m_decoration.setDevicePixelRatio(ratio);
    m_decoration.fill(BackgroundColour());
    QPainter p(&m_decoration);
    const QRect all(kMargin, kMargin, width() - 2 * kMargin, height() - 2 * kMargin);

    if (!m_title.isEmpty()) {
        p.setFont(m_titleFont);
        p.setPen(m_titleColour);
        p.drawText(all, int(m_titleAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop, m_title);
    }
    if (!m_foot.isEmpty()) {
        p.setFont(m_footFont);
        p.setPen(m_footColour);
        p.drawText(all, int(m_footAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignBottom, m_foot);
    }
    if (!m_axisTitle.isEmpty()) {
        p.save();
        p.setFont(m_axisTitleFont);
        p.setPen(m_axisTitleColour);
        // Rotated a quarter turn to the left, centred on the plot's height.
        p.translate(kMargin, m_plot.bottom());
        p.rotate(-90);
        p.drawText(QRect(0, 0, m_plot.height(), QFontMetrics(m_axisTitleFont).height()),
                   Qt::AlignHCenter | Qt::AlignTop, m_axisTitle);
        p.restore();
    }

    const double span = m_top - m_minimum;
    p.setFont(m_labelsFont);
    const QFontMetrics labels(m_labelsFont);
    for (int k = 0; k < kTicks; ++k) {
        const int y = m_plot.bottom() - static_cast<int>(std::lround(m_plot.height() * k / double(kTicks - 1)));
        if (k > 0) {
            p.setPen(QPen(kGridColour, 0, Qt::DotLine));
            p.drawLine(m_plot.left() + 1, y, m_plot.right(), y);
        }
        if (m_labelsVisible) {
            p.setPen(m_labelsColour);
            const QString text = TickText(m_minimum + span * k / (kTicks - 1));
            p.drawText(QRect(0, y - labels.height() / 2, m_plot.left() - 3, labels.height()),
                       Qt::AlignRight | Qt::AlignVCenter, text);
        }
    }
    p.setPen(QPen(kAxisColour, 0));
    p.drawLine(m_plot.topLeft(), m_plot.bottomLeft());
    m_dirty = false;
}

QRect TChart::LinesArea() const { return m_plot.adjusted(1, 0, 0, 0); }

void TChart::PaintSeries(QPainter &painter, const TLineSeries &series) {
    constexpr int kCount = TLineSeries::PointCount;
    const double span = m_top - m_minimum;
    const double low = m_minimum - span, high = m_top + span;
    const double x0 = m_plot.left(), w = m_plot.width() - 1;
    const double y0 = m_plot.bottom(), h = m_plot.height() - 1;
    const std::array<double, kCount> &ys = series.m_y;
    // Every point once: far-off values are held a plot height beyond the edge (the clip cuts
    // them the same). drawn[i]: the segment from point i - 1 to point i is drawn, unless an end
    // is not finite or both ends lie below the minimum.
    std::array<QPointF, kCount> &points = m_points;
    std::array<bool, kCount> drawn;
    bool previousFinite = false, previousBelow = false;
    for (int i = 0; i < kCount; ++i) {
        const double v = ys[static_cast<std::size_t>(i)];
        const bool finite = std::isfinite(v), below = v < m_minimum;
        const double y = std::min(std::max(v, low), high);
        points[static_cast<std::size_t>(i)] =
            QPointF(x0 + w * i / (kCount - 1), y0 - h * (y - m_minimum) / span);
        drawn[static_cast<std::size_t>(i)] =
            i > 0 && finite && previousFinite && !(below && previousBelow);
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
    if (m_dirty || m_decoration.size() != size() * devicePixelRatioF()) PaintDecoration();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_decoration);
    if (m_plot.width() < 2 || m_plot.height() < 2) return;
    painter.setClipRect(LinesArea());
    for (const auto &s : m_series)
        if (s->Active()) PaintSeries(painter, *s);
}

void TChart::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_dirty = true;
}

void TChart::mousePressEvent(QMouseEvent *event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
    emit MouseDown(event->button());
}

void TChart::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) emit Clicked();  // last: a handler may hide or re-parent this chart
}

void TChart::mouseDoubleClickEvent(QMouseEvent *event) {
    event->accept();
    emit MouseDown(event->button());
}
