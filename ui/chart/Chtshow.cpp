#include "ui/chart/Chtshow.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QGraphicsLayout>
#include <QGraphicsRectItem>
#include <QLineSeries>
#include <QMessageBox>
#include <QToolButton>
#include <QValueAxis>
#include <cmath>

#include "record/chart/ChartReadings.h"
#include "ui/ApplicationTitle.h"
#include "ui/chart/ChartBitmap.h"

namespace ostrel {

namespace {

const QColor kSilver(192, 192, 192);
constexpr double kValueAxisLimit = 11000.0;
constexpr double kValueAxisStep = 5000.0;
constexpr int kLeftWallSize = 11;
constexpr int kEnlargedLeft = 2;
constexpr int kEnlargedTop = 30;
constexpr int kEnlargedWidthMargin = 12;
constexpr int kEnlargedHeightMargin = 90;
constexpr int kTallWindow = 600;
constexpr int kLoweredWindowHeight = 564;
constexpr int kNormalTopLimit = 50;

// A tick step of 1, 2 or 5 times a power of ten that splits `span` into at most 5 parts;
// never below 1 (X values are record numbers).
double niceStep(double span) {
  const double raw = span / 5.0;
  if (raw <= 1.0) {
    return 1.0;
  }
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double mantissa = raw / magnitude;
  const double nice = mantissa <= 1.0 ? 1.0 : mantissa <= 2.0 ? 2.0 : mantissa <= 5.0 ? 5.0 : 10.0;
  return nice * magnitude;
}

QFont axisFont() {
  QFont font;
  font.setPixelSize(10);
  return font;
}

ChartPrompts messageBoxPrompts(QWidget* parent) {
  return {[parent](const QString& text) {
            QMessageBox::critical(parent, applicationTitle, text);
          },
          [parent](const QString& text) {
            QMessageBox::information(parent, applicationTitle, text,
                                     QMessageBox::Ok);
          }};
}

}  // namespace

Chtshow::Chtshow(ChartGeometry& savedGeometry, std::string decimalSeparatorText, QWidget* parent)
    : QFrame(parent),
      m_savedGeometry(savedGeometry),
      m_decimalSeparator(std::move(decimalSeparatorText)),
      m_strip(*this),
      m_placement(std::make_unique<WidgetChartPlacement>(*this)),
      m_prompts(messageBoxPrompts(this)),
      m_now([] { return QDateTime::currentDateTime(); }) {
  setObjectName(QStringLiteral("Chtshow"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  QPalette silver = palette();
  silver.setColor(QPalette::Window, kSilver);
  setPalette(silver);
  setAutoFillBackground(true);
  buildChart();
  resize(361, 209);
  connectToolStrip();
  refillSamples();
  MaxrecordChange();
  redraw();
}

Chtshow::~Chtshow() = default;

void Chtshow::setPlacement(std::unique_ptr<ChartPlacement> placement) {
  m_placement = std::move(placement);
}

void Chtshow::setPrompts(ChartPrompts prompts) { m_prompts = std::move(prompts); }

void Chtshow::setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

void Chtshow::buildChart() {
  m_chart = new QChart;
  // The blank title reserves the band along the top edge that the tool strip covers.
  m_chart->setTitle(QStringLiteral("  "));
  QFont titleFont;
  titleFont.setPixelSize(16);
  m_chart->setTitleFont(titleFont);
  m_chart->legend()->hide();
  m_chart->setBackgroundRoundness(0);
  m_chart->layout()->setContentsMargins(0, 0, 0, 0);
  m_chart->setMargins(QMargins(1, 4, 8, 1));
  QLinearGradient background(0, 0, 0, 1);
  background.setCoordinateMode(QGradient::ObjectBoundingMode);
  background.setColorAt(0, kSilver);
  background.setColorAt(1, Qt::white);
  m_chart->setBackgroundBrush(background);
  m_chart->setPlotAreaBackgroundBrush(Qt::white);
  m_chart->setPlotAreaBackgroundPen(QPen(kSilver));
  m_chart->setPlotAreaBackgroundVisible(true);

  // An area series does not own its upper line: the chart does, as its child.
  m_areaPoints = new QLineSeries(m_chart);
  auto* series2 = new QAreaSeries(m_areaPoints);
  series2->setObjectName(QStringLiteral("Series2"));
  series2->setBrush(QColor(255, 255, 128));
  series2->setPen(QPen(QColor(0, 128, 255)));
  m_Series1 = new QLineSeries;
  m_Series1->setObjectName(QStringLiteral("Series1"));
  m_Series1->setPen(QPen(QColor(128, 255, 0)));
  m_chart->addSeries(series2);
  m_chart->addSeries(m_Series1);

  auto* leftAxis = new QValueAxis;
  leftAxis->setRange(-kValueAxisLimit, kValueAxisLimit);
  leftAxis->setTickType(QValueAxis::TicksDynamic);
  leftAxis->setTickAnchor(0.0);
  leftAxis->setTickInterval(kValueAxisStep);
  leftAxis->setMinorTickCount(4);
  leftAxis->setMinorGridLinePen(QPen(QColor(240, 240, 240)));
  leftAxis->setLabelFormat(QStringLiteral("%.0f"));
  leftAxis->setLabelsFont(axisFont());
  m_bottomAxis = new QValueAxis;
  m_bottomAxis->setTickType(QValueAxis::TicksDynamic);
  m_bottomAxis->setTickAnchor(0.0);
  m_bottomAxis->setLabelFormat(QStringLiteral("%.0f"));
  m_bottomAxis->setLabelsFont(axisFont());
  m_chart->addAxis(leftAxis, Qt::AlignLeft);
  m_chart->addAxis(m_bottomAxis, Qt::AlignBottom);
  for (QAbstractSeries* series : m_chart->series()) {
    series->attachAxis(leftAxis);
    series->attachAxis(m_bottomAxis);
  }

  // Above the plot area's white, below grid and series.
  m_leftWall = new QGraphicsRectItem(m_chart);
  m_leftWall->setBrush(QColor(255, 255, 0));
  m_leftWall->setPen(QPen(kSilver));
  m_leftWall->setZValue(0.5);
  connect(m_chart, &QChart::plotAreaChanged, this, &Chtshow::updateLeftWall);

  m_view = new QChartView(m_chart, this);
  m_view->setObjectName(QStringLiteral("ChtshowPlot"));
  m_view->setFrameShape(QFrame::NoFrame);
  m_view->setCursor(Qt::CrossCursor);
  m_view->setRubberBand(QChartView::RectangleRubberBand);
  m_view->lower();
}

void Chtshow::connectToolStrip() {
  connect(m_strip.BtFill, &QCheckBox::toggled, this, &Chtshow::BtFillClick);
  connect(m_strip.Maxrecord, &QLineEdit::textChanged, this, &Chtshow::MaxrecordChange);
  connect(m_strip.BtSave, &QToolButton::clicked, this, &Chtshow::BtSaveClick);
  connect(m_strip.BtNew, &QToolButton::clicked, this, &Chtshow::BtNewClick);
  connect(m_strip.BtFirst, &QToolButton::clicked, this, &Chtshow::BtFirstClick);
  connect(m_strip.BTPrevious, &QToolButton::clicked, this, &Chtshow::BTPreviousClick);
  connect(m_strip.BtNext, &QToolButton::clicked, this, &Chtshow::BtNextClick);
  connect(m_strip.BTlast, &QToolButton::clicked, this, &Chtshow::BTlastClick);
  m_strip.TbFd->onClick = [this] { TbSxClick(); };
  m_strip.TbSx->onClick = [this] { TbSxClick(); };
}

void Chtshow::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  m_view->setGeometry(contentsRect());
}

void Chtshow::updateLeftWall() {
  const QRectF plot = m_chart->plotArea();
  m_leftWall->setRect(QRectF(plot.left(), plot.top(), kLeftWallSize, plot.height()));
}

QXYSeries* Chtshow::pointsOf(int index) const {
  return index == 0 ? static_cast<QXYSeries*>(m_areaPoints) : m_Series1;
}

void Chtshow::plotReading(std::optional<std::int32_t> no,
                          std::optional<std::string_view> valueGbk) {
  const std::optional<ChartPoint> point = chartPoint(no, valueGbk, m_decimalSeparator);
  if (!point) {
    return;
  }
  for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
    showPoint(i, m_model.addPoint(i, *point));
  }
  updateBottomAxis();
}

void Chtshow::clearReadings() { BtNewClick(); }

void Chtshow::ShowSeries(int index) {
  m_model.ShowSeries(index);
  redraw();
}

void Chtshow::BtFillClick() { ShowSeries(m_strip.BtFill->isChecked() ? 0 : 1); }

void Chtshow::MaxrecordChange() {
  const QString text = m_strip.Maxrecord->text();
  bool converted = false;
  const int pointsPerPage = text.toInt(&converted);
  if (!converted) {
    m_prompts.showError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return;
  }
  if (!m_model.setMaxPointsPerPage(pointsPerPage)) {
    m_prompts.showError(QStringLiteral("'%1' is not a valid number of points per page").arg(text));
    return;
  }
  // The page may have been lowered; the label must not name a page that is not shown.
  m_strip.Bt10->setText(QString::number(m_model.page()));
  redraw();
}

void Chtshow::applyNavigation(std::int32_t previousPage) {
  const ChartNavigationButtons& b = m_buttons;
  m_strip.BtFirst->setEnabled(b.BtFirst);
  m_strip.BTPrevious->setEnabled(b.BTPrevious);
  m_strip.BtNext->setEnabled(b.BtNext);
  m_strip.BTlast->setEnabled(b.BTlast);
  m_strip.Bt10->setText(QString::number(m_model.page()));
  if (m_model.page() != previousPage) {
    redraw();
  }
}

void Chtshow::BtFirstClick() {
  const std::int32_t before = m_model.page();
  ostrel::BtFirstClick(m_model, m_buttons);
  applyNavigation(before);
}

void Chtshow::BTPreviousClick() {
  const std::int32_t before = m_model.page();
  ostrel::BTPreviousClick(m_model, m_buttons);
  applyNavigation(before);
}

void Chtshow::BtNextClick() {
  const std::int32_t before = m_model.page();
  ostrel::BtNextClick(m_model, m_buttons);
  applyNavigation(before);
}

void Chtshow::BTlastClick() {
  const std::int32_t before = m_model.page();
  ostrel::BTlastClick(m_model, m_buttons);
  applyNavigation(before);
}

void Chtshow::refillSamples() {
  for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
    m_model.fillSampleValues(i, 1);
  }
  m_model.ShowSeries(0);
  m_model.ShowSeries(m_strip.BtFill->isChecked() ? 0 : 1);
}

void Chtshow::BtNewClick() {
  refillSamples();
  redraw();
}

void Chtshow::TbSxClick() {
  ChartPlacement& placement = *m_placement;
  if (placement.windowOuterSize().height() > kTallWindow) {
    placement.setWindowOuterHeight(kLoweredWindowHeight);
  }
  const QRect bounds = placement.chartBounds();
  if (bounds.top() > kNormalTopLimit) {
    m_strip.TbFd->hide();
    m_strip.TbSx->show();
    m_savedGeometry = {bounds.width(), bounds.height(), bounds.left(), bounds.top()};
    const QSize outer = placement.windowOuterSize();
    placement.setChartBounds(QRect(kEnlargedLeft, kEnlargedTop,
                                   outer.width() - kEnlargedWidthMargin,
                                   outer.height() - kEnlargedHeightMargin));
    raise();
  } else {
    m_strip.TbSx->hide();
    m_strip.TbFd->show();
    placement.setChartBounds(QRect(m_savedGeometry.left, m_savedGeometry.top, m_savedGeometry.width,
                                   m_savedGeometry.height));
  }
}

void Chtshow::BtSaveClick() {
  const QString path = chartBitmapPath(chartBitmapFolder(), m_now(), m_strip.Bt10->text());
  const QString error = saveChartBitmap(*this, {m_view}, path);
  if (!error.isEmpty()) {
    m_prompts.showError(error);
    return;
  }
  m_prompts.showInformation(QStringLiteral("graphic has saved on ") +
                            QDir::toNativeSeparators(path));
}

void Chtshow::redraw() {
  for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
    redrawSeries(i);
  }
  updateBottomAxis();
}

void Chtshow::redrawSeries(int index) {
  QAbstractSeries* shown = m_chart->series().at(index);
  QXYSeries* target = pointsOf(index);
  if (!m_model.isActive(index)) {
    shown->setVisible(false);
    target->clear();
    m_shown[static_cast<std::size_t>(index)] = {};
    return;
  }
  const ChartPageView view = m_model.pageView(index);
  const std::vector<ChartPoint>& all = m_model.points(index);
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(view.count));
  for (std::size_t k = view.first; k < view.first + view.count; ++k) {
    points.append(QPointF(all[k].x, all[k].y));
  }
  target->replace(points);
  shown->setVisible(true);
  m_shown[static_cast<std::size_t>(index)] = view;
}

void Chtshow::showPoint(int index, std::size_t insertedAt) {
  if (!m_model.isActive(index)) {
    return;
  }
  ChartPageView& shown = m_shown[static_cast<std::size_t>(index)];
  const ChartPageView view = m_model.pageView(index);
  const bool samePage = view.first == shown.first;
  const std::size_t end = view.first + view.count;
  if (samePage && view.count == shown.count + 1 && insertedAt + 1 == end) {
    const ChartPoint& point = m_model.points(index)[insertedAt];
    pointsOf(index)->append(point.x, point.y);
    shown = view;
  } else if (samePage && view.count == shown.count && insertedAt >= end) {
    shown = view;
  } else {
    redrawSeries(index);
  }
}

void Chtshow::updateBottomAxis() {
  const int active = m_model.activeSeries();
  if (active < 0) {
    return;
  }
  const ChartPageView view = m_model.pageView(active);
  m_bottomAxis->setRange(view.xMin, view.xMax);
  m_bottomAxis->setTickInterval(niceStep(view.xMax - view.xMin));
}

}  // namespace ostrel
