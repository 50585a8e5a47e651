#include "TFrameBigChart.h"

#include "ExceptionDisplay.h"
#include "GraphStyle.h"
#include "TChart.h"
#include "ui_TFrameBigChart.h"

#include <QLabel>
#include <QLayout>

TFrameBigChart::TFrameBigChart(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrameBigChart>()) {
    ui->setupUi(this);
    Chart1 = ui->Chart1;
    LabelSeries1 = ui->LabelSeries1;
    LabelSeries2 = ui->LabelSeries2;
    LabelSeries3 = ui->LabelSeries3;
    Panel5 = ui->Panel5;

    Chart1->SetTitleStyle(kivra::VerdanaFont(12), Qt::white, Qt::AlignRight);
    Chart1->SetFoot(QStringLiteral("Time"), kivra::VerdanaFont(11), Qt::white, Qt::AlignRight);
    Chart1->SetAxisTitleStyle(kivra::VerdanaFont(11), Qt::white);
    Chart1->SetAxisLabelsStyle(kivra::VerdanaFont(11), Qt::white);
    Chart1->SetAxisLabelsVisible(true);
    Chart1->SetAutomaticMaximum(false);
}

TFrameBigChart::~TFrameBigChart() = default;

void TFrameBigChart::Design(const stBigChartDesign &design) {
    if (Series1 == nullptr) {
        Series1 = Chart1->AddSeries(kivra::RedColour(), design.UseSeries1);
        Series2 = Chart1->AddSeries(kivra::LimeColour(), design.UseSeries2);
        Series3 = Chart1->AddSeries(kivra::YellowColour(), design.UseSeries3);
    }
    Chart1->SetTitle(QString::fromLatin1(design.Title));
    Chart1->SetAxisTitle(QString::fromLatin1(design.AxisTitle));
    Chart1->SetMinimum(design.Minimum);
    Chart1->SetAutomaticMaximum(false);
    Chart1->SetMaximum(design.Maximum);
    LabelSeries1->setVisible(design.ShowLabel1);
    LabelSeries2->setVisible(design.ShowLabel2);
    LabelSeries3->setVisible(design.ShowLabel3);
    if (design.CentreLabel2) LabelSeries2->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    FrameResize();
}

void TFrameBigChart::FrameResize() {
    // Panel5's place follows the frame's size through the form's layout; make it current first
    // (a frame that has never been shown has not laid itself out yet).
    if (layout()) {
        layout()->activate();
        layout()->setGeometry(rect());
    }
    const int p = Panel5->width();
    const int l = Panel5->x();
    const int top = LabelSeries2->y(), h = LabelSeries2->height();
    if (!LabelSeries1->isHidden() && !LabelSeries3->isHidden()) {
        const int w = p / 3;
        LabelSeries2->setGeometry(l, top, w, h);
        LabelSeries3->setGeometry(l + w, top, w, h);
        LabelSeries1->setGeometry(l + 2 * w, top, w, h);
    } else if (!LabelSeries2->isHidden() && !LabelSeries3->isHidden()) {
        const int w = p / 2;
        LabelSeries2->setGeometry(l, top, w, h);
        LabelSeries3->setGeometry(l + w, top, w, h);
    } else {
        LabelSeries2->setGeometry(l, top, p, h);
    }
}

void TFrameBigChart::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    kivra::RunGuarded([this] { FrameResize(); });
}
