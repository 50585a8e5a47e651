#include "TChart.h"

#include <QBrush>
#include <QChart>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QMouseEvent>
#include <QPen>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>

namespace {
constexpr int kGap = 1;  // pixels between a text and the plot area
}

TChart::TChart(QWidget *parent) : QChartView(parent), m_chart(new QChart) {
    setChart(m_chart);  // the view owns the chart from here on
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setInteractive(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(BackgroundColour());

    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->hide();
    m_chart->setBackgroundRoundness(0);
    m_chart->setBackgroundBrush(BackgroundColour());
    m_chart->setBackgroundPen(Qt::NoPen);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_chart->setDropShadowEnabled(false);
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);

    m_axisX = new QValueAxis;
    m_axisX->setRange(0, TLineSeries::PointCount - 1);
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_axisX->setVisible(false);

    m_axisY = new QValueAxis;
    m_axisY->setLabelFormat("%.0f");
    m_axisY->setTickCount(5);
    m_axisY->setMinorTickCount(0);
    m_axisY->setGridLinePen(QPen(QColor(96, 96, 96), 0, Qt::DotLine));
    m_axisY->setLinePen(QPen(QColor(128, 128, 128)));
    m_axisY->setLabelsBrush(QBrush(Qt::white));
    m_axisY->setTitleBrush(QBrush(Qt::white));
    m_chart->addAxis(m_axisY, Qt::AlignLeft);

    m_title = new QGraphicsSimpleTextItem(m_chart);
    m_title->setBrush(Qt::white);
    m_foot = new QGraphicsSimpleTextItem(m_chart);
    m_foot->setBrush(Qt::white);
    ApplyRange();
    LayoutTexts();
}

TChart::~TChart() = default;

TLineSeries *TChart::AddSeries(const QColor &colour, bool active) {
    auto *series = new TLineSeries(colour, active);
    m_chart->addSeries(series);  // the chart takes ownership
    series->attachAxis(m_axisX);
    series->attachAxis(m_axisY);
    m_series.push_back(series);
    // One recomputation per rewrite: a rewrite is a single replace.
    connect(series, &QXYSeries::pointsReplaced, this, [this] {
        if (m_automaticMaximum) ApplyRange();
    });
    if (m_automaticMaximum) ApplyRange();
    return series;
}

TLineSeries *TChart::Series(int i) const {
    if (i < 0 || i >= SeriesCount()) return nullptr;
    return m_series[static_cast<std::size_t>(i)];
}

void TChart::SetTitle(const QString &text) {
    m_title->setText(text);
    LayoutTexts();
}

QString TChart::Title() const { return m_title->text(); }

void TChart::SetTitleStyle(const QFont &font, const QColor &colour, Qt::Alignment alignment) {
    m_title->setFont(font);
    m_title->setBrush(colour);
    m_titleAlignment = alignment;
    LayoutTexts();
}

void TChart::SetFoot(const QString &text, const QFont &font, const QColor &colour,
                     Qt::Alignment alignment) {
    m_foot->setText(text);
    m_foot->setFont(font);
    m_foot->setBrush(colour);
    m_footAlignment = alignment;
    LayoutTexts();
}

QString TChart::Foot() const { return m_foot->text(); }

void TChart::SetAxisTitle(const QString &text) { m_axisY->setTitleText(text); }

QString TChart::AxisTitle() const { return m_axisY->titleText(); }

void TChart::SetAxisTitleStyle(const QFont &font, const QColor &colour) {
    m_axisY->setTitleFont(font);
    m_axisY->setTitleBrush(colour);
}

void TChart::SetAxisLabelsVisible(bool visible) { m_axisY->setLabelsVisible(visible); }

void TChart::SetAxisLabelsStyle(const QFont &font, const QColor &colour) {
    m_axisY->setLabelsFont(font);
    m_axisY->setLabelsBrush(colour);
}

void TChart::SetAutomaticMaximum(bool automatic) {
    m_automaticMaximum = automatic;
    ApplyRange();
}

void TChart::SetMaximum(double maximum) {
    m_fixedMaximum = maximum;
    if (!m_automaticMaximum) ApplyRange();
}

double TChart::Maximum() const { return m_axisY->max(); }

void TChart::SetMinimum(double minimum) {
    m_minimum = minimum;
    ApplyRange();
}

void TChart::ApplyRange() {
    double top = m_fixedMaximum;
    if (m_automaticMaximum) {
        top = m_minimum;
        for (const TLineSeries *s : m_series)
            if (s->Active()) top = std::max(top, s->MaxYValue());
    }
    // An empty or inverted range would hide every line; keep the axis one unit high at least.
    if (!(top > m_minimum)) top = m_minimum + 1.0;
    m_axisY->setRange(m_minimum, top);
}

void TChart::LayoutTexts() {
    const QRectF area(QPointF(0, 0), m_chart->size());
    const QRectF titleBox = m_title->boundingRect();
    const QRectF footBox = m_foot->boundingRect();
    const qreal top = m_title->text().isEmpty() ? 0 : titleBox.height() + kGap;
    const qreal bottom = m_foot->text().isEmpty() ? 0 : footBox.height() + kGap;
    m_chart->setMargins(QMargins(2, static_cast<int>(top) + 2, 4, static_cast<int>(bottom) + 2));

    auto place = [&](QGraphicsSimpleTextItem *item, Qt::Alignment alignment, qreal y) {
        const qreal w = item->boundingRect().width();
        qreal x = (area.width() - w) / 2;
        if (alignment & Qt::AlignLeft) x = 2;
        if (alignment & Qt::AlignRight) x = area.width() - w - 4;
        item->setPos(std::max<qreal>(0, x), y);
    };
    place(m_title, m_titleAlignment, 1);
    place(m_foot, m_footAlignment, area.height() - footBox.height() - 1);
}

void TChart::resizeEvent(QResizeEvent *event) {
    QChartView::resizeEvent(event);  // resizes the chart to the view
    LayoutTexts();
}

void TChart::mousePressEvent(QMouseEvent *event) {
    m_pressed = event->button() == Qt::LeftButton;
    emit MouseDown(event->button());
    event->accept();
}

void TChart::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) emit Clicked();  // last: a handler may hide or re-parent this chart
}

// No panning, zooming or dragging: these events stop here.
void TChart::mouseMoveEvent(QMouseEvent *event) { event->accept(); }
void TChart::wheelEvent(QWheelEvent *event) { event->accept(); }
void TChart::mouseDoubleClickEvent(QMouseEvent *event) {
    emit MouseDown(event->button());
    event->accept();
}
