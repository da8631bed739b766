#include "ui/chart/Chtshow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "record/chart/ChartReadings.h"
#include "ui/ApplicationTitle.h"
#include "ui/chart/ChartBitmap.h"
#include "ui/chart/ChartPlotView.h"

namespace ostrel {

namespace {

const QColor silverColor(192, 192, 192);
constexpr int enlargedLeft = 2;
constexpr int enlargedTop = 30;
constexpr int enlargedWidthMargin = 12;
constexpr int enlargedHeightMargin = 90;
constexpr int tallWindow = 600;
constexpr int loweredWindowHeight = 564;
constexpr int pageLabelPx = 11;  // the tool strip's type

ChartPrompts messageBoxPrompts(QWidget* parent) {
  return {[parent](const QString& text) { QMessageBox::critical(parent, applicationTitle, text); },
          [parent](const QString& text) {
            QMessageBox::information(parent, applicationTitle, text, QMessageBox::Ok);
          }};
}

// Creates `folder` with its parents when missing. Returns an empty text, or the reason.
QString makeFolder(const QString& folder) {
  std::error_code error;
  std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
  return error ? QString::fromStdString(error.message()) : QString();
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
  silver.setColor(QPalette::Window, silverColor);
  setPalette(silver);
  setAutoFillBackground(true);
  m_plot = new ChartPlotView(m_model, this);
  m_plot->setObjectName(QStringLiteral("ChtshowPlot"));
  m_plot->setCursor(Qt::CrossCursor);
  m_plot->lower();
  m_plot->setDescriber([this](std::size_t row) {
    return m_describe ? m_describe(m_plot->firstRowNumber() - 1 + row) : QString();
  });
  resize(361, 209);
  m_plot->setGeometry(contentsRect());
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

void Chtshow::setPointDescriber(std::function<QString(std::size_t tableRow)> describe) {
  m_describe = std::move(describe);
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
  m_plot->setGeometry(contentsRect());
}

void Chtshow::plotReading(std::optional<std::string_view> valueGbk,
                          std::optional<std::string_view> unitGbk) {
  ++m_tableRows;
  if (m_model.holdsSamples()) {
    m_plot->setFirstRowNumber(m_tableRows);
  }
  const bool lastPageShown = m_model.page() == m_model.pageCount();
  m_model.appendRow(chartQuantity(valueGbk, unitGbk, m_decimalSeparator));
  if (lastPageShown && m_model.setPage(m_model.pageCount())) {
    showPage();
  }
  redraw();
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
  showPage();
  redraw();
}

void Chtshow::showPage() {
  // A long page number gets a smaller type, down to 6 px, so that every digit stays in sight.
  const QString text = QString::number(m_model.page());
  QToolButton* label = m_strip.Bt10;
  QFont font = label->font();
  font.setPixelSize(pageLabelPx);
  const int room = label->width() - 4;
  while (font.pixelSize() > 6 && QFontMetrics(font).horizontalAdvance(text) > room) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  label->setFont(font);
  label->setText(text);
  m_plot->resetZoom();  // a zoom belongs to the page it was dragged on
}

void Chtshow::applyNavigation(std::int32_t previousPage) {
  const ChartNavigationButtons& b = m_buttons;
  m_strip.BtFirst->setEnabled(b.BtFirst);
  m_strip.BTPrevious->setEnabled(b.BTPrevious);
  m_strip.BtNext->setEnabled(b.BtNext);
  m_strip.BTlast->setEnabled(b.BTlast);
  showPage();
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

void Chtshow::showPageNumber(std::int32_t page) {
  m_model.setPage(page);
  showPage();
  redraw();
}

void Chtshow::refillSamples() {
  m_model.fillSampleValues(1);
  m_model.ShowSeries(0);
  m_model.ShowSeries(m_strip.BtFill->isChecked() ? 0 : 1);
  // A page beyond the one page of samples would name a page that is not there.
  m_model.setPage(1);
  showPage();
}

void Chtshow::BtNewClick() {
  refillSamples();
  redraw();
}

void Chtshow::TbSxClick() {
  ChartPlacement& placement = *m_placement;
  int lowered = 0;  // how much lower the window was made
  if (const int height = placement.windowOuterSize().height(); height > tallWindow) {
    placement.setWindowOuterHeight(loweredWindowHeight);
    // A window system may apply the new height later: the client shrinks by what is left.
    lowered = std::max(0, placement.windowOuterSize().height() - loweredWindowHeight);
  }
  const QRect saved(m_savedGeometry.left, m_savedGeometry.top, m_savedGeometry.width,
                    m_savedGeometry.height);
  const QRect place = placement.chartPlace();
  const bool enlarged = saved.isValid() && place != saved;
  if (!enlarged) {
    m_strip.TbFd->hide();
    m_strip.TbSx->show();
    m_savedGeometry = {place.width(), place.height(), place.left(), place.top()};
    if (const std::optional<QSize> client = placement.clientSize()) {
      // Over what the window shows below its top row of controls, to the scroll bars.
      placement.setChartBounds(QRect(enlargedLeft, enlargedTop,
                                     std::max(1, client->width() - enlargedLeft),
                                     std::max(1, client->height() - lowered - enlargedTop)));
    } else {
      const QSize outer = placement.windowOuterSize();
      placement.setChartBounds(QRect(enlargedLeft, enlargedTop, outer.width() - enlargedWidthMargin,
                                     outer.height() - enlargedHeightMargin));
    }
    raise();
  } else {
    m_strip.TbSx->hide();
    m_strip.TbFd->show();
    placement.setChartPlace(saved);
  }
}

Result<> Chtshow::saveBitmap(const QString& path) { return saveChartBitmap(*this, {m_plot}, path); }
Result<> Chtshow::saveBitmap(const std::string& path) {
  return saveChartBitmap(*this, {m_plot}, path);
}

void Chtshow::BtSaveClick() {
  const QString folder = chartBitmapFolder();
  const QString path = chartBitmapPath(folder, m_now(), m_strip.Bt10->text());
  if (const QString reason = makeFolder(folder); !reason.isEmpty()) {
    m_prompts.showError(
        QStringLiteral("Cannot create file %1. %2").arg(QDir::toNativeSeparators(path), reason));
    return;
  }
  if (const Result<> saved = saveBitmap(path); !saved.ok()) {
    m_prompts.showError(QString::fromLocal8Bit(saved.message()));
    return;
  }
  m_prompts.showInformation(QStringLiteral("graphic has saved on ") +
                            QDir::toNativeSeparators(path));
}

void Chtshow::redraw() { m_plot->update(); }

}  // namespace ostrel
