#include "TestsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "record/GbkText.h"

namespace ostrel {

namespace {

QString utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString optionalFixed(std::optional<double> value, int decimals) {
  return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
}

constexpr std::array<const char*, 15> columns = {
    "Test",   "Voltage", "Start",    "Duration", "Readings",
    "R 15 s", "R 30 s",  "R 1 min",  "R 10 min", "R 1 min 40 \u00B0C",
    "DAR",    "PI",      "Meter PI", "Lowest",   "Verdict"};

}  // namespace

TestCurvePlot::TestCurvePlot(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TestCurve"));
  setMinimumSize(360, 240);
}

void TestCurvePlot::setTest(const InsulationTest* test) {
  m_curve = test ? test->curve : std::vector<std::pair<double, double>>{};
  m_title = test ? QStringLiteral("Test %1: R(t) at %2 V").arg(test->number).arg(test->voltageV)
                 : QStringLiteral("No test chosen");
  update();
}

void TestCurvePlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area = QRectF(rect()).adjusted(70, 28, -16, -36);
  p.setPen(Qt::black);
  p.drawText(QRectF(0, 4, width(), 20), Qt::AlignHCenter, m_title);
  p.drawRect(area);

  // Time from 1 s to 1000 s (or the test's end); resistance over the decades it spans.
  double tMax = 1000;
  double rMin = 1e6;
  double rMax = 1e9;
  if (!m_curve.empty()) {
    tMax =
        std::max(700.0, std::pow(10.0, std::ceil(std::log10(std::max(1.0, m_curve.back().first)))));
    const auto [lo, hi] = std::minmax_element(m_curve.begin(), m_curve.end(),
                                              [](auto a, auto b) { return a.second < b.second; });
    rMin = std::pow(10.0, std::floor(std::log10(std::max(lo->second, 1e-3))));
    rMax = std::pow(10.0, std::ceil(std::log10(std::max(hi->second, rMin * 10))));
    if (rMax <= rMin) rMax = rMin * 10;
  }
  const double tMin = 1;
  const auto x = [&](double t) {
    return area.left() +
           area.width() * std::log10(std::max(t, tMin) / tMin) / std::log10(tMax / tMin);
  };
  const auto y = [&](double r) {
    return area.bottom() - area.height() * std::log10(r / rMin) / std::log10(rMax / rMin);
  };

  // Marks at 15 s, 30 s, 1 min and 10 min.
  p.setPen(QPen(QColor(0, 120, 0), 1, Qt::DashLine));
  const std::array<std::pair<double, const char*>, 4> marks = {
      {{15, "15 s"}, {30, "30 s"}, {60, "1 min"}, {600, "10 min"}}};
  for (const auto& [t, label] : marks) {
    p.drawLine(QPointF(x(t), area.top()), QPointF(x(t), area.bottom()));
    p.drawText(QPointF(x(t) + 2, area.top() + 12), QString::fromUtf8(label));
  }
  // Decade labels.
  p.setPen(Qt::gray);
  // Decade steps: the loops end on a bound with room for rounding, never on equality.
  // NOLINTNEXTLINE(clang-analyzer-security.FloatLoopCounter)
  for (double r = rMin; r <= rMax * 1.001; r *= 10) {
    p.drawLine(QPointF(area.left() - 4, y(r)), QPointF(area.left(), y(r)));
    p.drawText(QRectF(0, y(r) - 8, area.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
               utf8(ohmText(r)));
  }
  // NOLINTNEXTLINE(clang-analyzer-security.FloatLoopCounter): decade steps, as above
  for (double t = 1; t <= tMax * 1.001; t *= 10) {
    p.drawText(QRectF(x(t) - 30, area.bottom() + 4, 60, 16), Qt::AlignHCenter,
               QStringLiteral("%1 s").arg(t));
  }
  p.setPen(Qt::black);
  p.drawText(QRectF(area.left(), area.bottom() + 18, area.width(), 16), Qt::AlignHCenter,
             QStringLiteral("time (log)"));

  p.setPen(QPen(QColor(0, 0, 200), 2));
  QPointF last;
  bool first = true;
  for (const auto& [t, r] : m_curve) {
    const QPointF point(x(t), y(r));
    if (!first) p.drawLine(last, point);
    p.drawEllipse(point, 2, 2);
    last = point;
    first = false;
  }
}

TestsWindow::TestsWindow(ReadingsTable& table, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_table(table),
      m_analysis(table, [this](std::vector<InsulationTest> tests, std::size_t records,
                               std::optional<std::int32_t> firstDay) {
        if (firstDay && m_date->text().trimmed().isEmpty()) {
          m_date->setPlaceholderText(utf8(isoDate(*firstDay)));
        }
        showTests(std::move(tests), records);
      }) {
  setObjectName(QStringLiteral("TestsWindow"));
  setWindowTitle(QStringLiteral("Tests"));
  resize(1100, 720);

  auto* layout = new QVBoxLayout(this);

  // Options of the judgement.
  auto* options = new QHBoxLayout;
  m_minimum = new QComboBox(this);
  m_minimum->setObjectName(QStringLiteral("Minimum"));
  m_minimum->addItems({QStringLiteral("100 M\u03A9 (form-wound)"),
                       QStringLiteral("5 M\u03A9 (random-wound, < 1 kV)"),
                       QStringLiteral("kV + 1 M\u03A9 (older windings)"),
                       QStringLiteral("M\u03A9:")});
  m_minimumMOhm = new QLineEdit(QStringLiteral("100"), this);
  m_minimumMOhm->setObjectName(QStringLiteral("MinimumMOhm"));
  m_minimumMOhm->setMaximumWidth(70);
  m_thermal = new QComboBox(this);
  m_thermal->setObjectName(QStringLiteral("ThermalClass"));
  m_thermal->addItems(
      {QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("F"), QStringLiteral("H")});
  m_dar = new QComboBox(this);
  m_dar->setObjectName(QStringLiteral("Dar"));
  m_dar->addItems({QStringLiteral("60/30"), QStringLiteral("60/15")});
  m_printSummary = new QCheckBox(QStringLiteral("Print test summary with the report"), this);
  m_printSummary->setObjectName(QStringLiteral("PrintSummary"));
  m_printSummary->setToolTip(
      QStringLiteral("Print Data then prints a test summary page after the readings pages"));
  auto* refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
  options->addWidget(new QLabel(QStringLiteral("Minimum R(1 min) at 40 \u00B0C:"), this));
  options->addWidget(m_minimum);
  options->addWidget(m_minimumMOhm);
  options->addWidget(new QLabel(QStringLiteral("Thermal class:"), this));
  options->addWidget(m_thermal);
  options->addWidget(new QLabel(QStringLiteral("DAR:"), this));
  options->addWidget(m_dar);
  options->addStretch();
  options->addWidget(m_printSummary);
  options->addWidget(refreshButton);
  layout->addLayout(options);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  m_list = new QTableWidget(0, static_cast<int>(columns.size()), splitter);
  m_list->setObjectName(QStringLiteral("TestList"));
  QStringList headers;
  for (const char* c : columns) headers << QString::fromUtf8(c);
  m_list->setHorizontalHeaderLabels(headers);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->verticalHeader()->hide();
  m_list->setTabKeyNavigation(false);  // Tab goes on to the next control; arrows move inside
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
          &QWidget::close);

  auto* lower = new QWidget(splitter);
  auto* lowerLayout = new QHBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  auto* plotAndReasons = new QVBoxLayout;
  m_plot = new TestCurvePlot(lower);
  m_reasons = new QPlainTextEdit(lower);
  m_reasons->setObjectName(QStringLiteral("Reasons"));
  m_reasons->setReadOnly(true);
  m_reasons->setMaximumHeight(110);
  plotAndReasons->addWidget(m_plot, 1);
  plotAndReasons->addWidget(m_reasons);
  lowerLayout->addLayout(plotAndReasons, 3);

  auto* recordBox = new QGroupBox(QStringLiteral("Test record"), lower);
  buildRecordFields(recordBox, new QFormLayout(recordBox));
  lowerLayout->addWidget(recordBox, 2);
  splitter->addWidget(m_list);
  splitter->addWidget(lower);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 2);
  layout->addWidget(splitter, 1);

  m_summary = new QLabel(this);
  m_summary->setObjectName(QStringLiteral("Summary"));
  layout->addWidget(m_summary);

  connect(refreshButton, &QPushButton::clicked, this, [this] { refresh(); });
  for (QComboBox* box : {m_minimum, m_thermal, m_dar}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
  }
  for (QLineEdit* field : {m_minimumMOhm, m_winding, m_ratedKv, m_date}) {
    connect(field, &QLineEdit::editingFinished, this, [this] { refresh(); });
  }
  for (QLineEdit* field : {m_ambient, m_winding, m_ratedKv, m_date}) {
    connect(field, &QLineEdit::textChanged, this, [this] { markTypedFields(); });
  }
  connect(m_list, &QTableWidget::itemSelectionChanged, this, [this] { showChosen(); });

  m_followTimer = new QTimer(this);
  m_followTimer->setInterval(1000);
  connect(m_followTimer, &QTimer::timeout, this, [this] {
    if (m_dirty && isVisible()) refresh();
  });
  m_followTimer->start();
  m_table.addObserver(this);
}

TestsWindow::~TestsWindow() { m_table.removeObserver(this); }

void TestsWindow::buildRecordFields(QWidget* parent, QFormLayout* form) {
  const auto edit = [&](QLineEdit*& field, const char* name, const char* caption) {
    field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    form->addRow(QString::fromUtf8(caption), field);
  };
  edit(m_customer, "Customer", "Customer");
  edit(m_site, "Site", "Site");
  edit(m_asset, "Asset", "Asset or tag");
  edit(m_operator, "Operator", "Operator");
  edit(m_serial, "InstrumentSerial", "Instrument serial");
  edit(m_ratedKv, "RatedKv", "Rated voltage (kV)");
  edit(m_date, "FirstReadingDate", "Date of first reading");
  edit(m_ambient, "AmbientC", "Ambient temperature (\u00B0C)");
  edit(m_winding, "WindingC", "Winding temperature (\u00B0C)");
  edit(m_humidity, "Humidity", "Humidity (%)");
  m_ratedKv->setToolTip(QStringLiteral("Line to line, for the kV + 1 M\u03A9 minimum"));
  m_date->setToolTip(
      QStringLiteral("YYYY-MM-DD; left empty, worked out from the recording or "
                     "the loaded file's time"));
  for (QLineEdit* field : {m_ambient, m_winding}) {
    field->setToolTip(QStringLiteral("-50 to 200, \"20.5\" or \"20,5\""));
  }
  m_notes = new QPlainTextEdit(parent);
  m_notes->setObjectName(QStringLiteral("Notes"));
  m_notes->setMaximumHeight(70);
  form->addRow(QStringLiteral("Notes"), m_notes);
}

void TestsWindow::markTypedFields() {
  const auto mark = [](QLineEdit* field, bool valid) {
    const bool refused = !valid && !field->text().trimmed().isEmpty();
    field->setProperty("refused", refused);
    field->setStyleSheet(refused ? QStringLiteral("QLineEdit { background: #f8c8c8; }")
                                 : QString());
  };
  const auto typed = [](const QLineEdit* field) { return field->text().toUtf8().toStdString(); };
  mark(m_ambient, typedTemperature(typed(m_ambient)).has_value());
  mark(m_winding, typedTemperature(typed(m_winding)).has_value());
  mark(m_ratedKv, typedRatedKv(typed(m_ratedKv)).has_value());
  mark(m_date, dayFromIsoDate(typed(m_date).c_str()).has_value());
}

void TestsWindow::setTableEnd(std::optional<QDateTime> end) {
  m_tableEnd = std::move(end);
  m_dirty = true;  // the worked-out date shows with the next analysis
}

TestsAnalysis::TableEnd TestsWindow::tableEnd() const {
  const QDateTime end = m_tableEnd.value_or(QDateTime::currentDateTime());
  return {static_cast<std::int32_t>(QDate(1970, 1, 1).daysTo(end.date())),
          end.time().msecsSinceStartOfDay()};
}

std::int32_t TestsWindow::guessedFirstDay() const {
  const TestsAnalysis::TableEnd end = tableEnd();
  return ostrel::firstReadingDay(m_table, end.day, end.ms);
}

std::optional<std::int32_t> TestsWindow::firstReadingDay() const {
  const QString typed = m_date->text().trimmed();
  if (typed.isEmpty()) return guessedFirstDay();
  return dayFromIsoDate(typed.toStdString());
}

void TestsWindow::recordsAppended(std::size_t, std::size_t) { m_dirty = true; }
void TestsWindow::tableReset() { m_dirty = true; }

void TestsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
}

void TestsWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // The analysis's copy of the table is as large as the table: kept only while shown.
  m_analysis.releaseCopy();
}

TestRecord TestsWindow::record() const {
  const auto text = [](const QString& field) { return field.toUtf8().toStdString(); };
  const std::optional<std::int32_t> day = firstReadingDay();
  return {text(m_customer->text()),
          text(m_site->text()),
          text(m_asset->text()),
          text(m_operator->text()),
          text(m_serial->text()),
          text(m_ambient->text()),
          text(m_winding->text()),
          text(m_humidity->text()),
          text(m_notes->toPlainText()),
          text(m_ratedKv->text()),
          day ? isoDate(*day) : text(m_date->text())};
}

WorkbookTests TestsWindow::workbookTests() const { return {judgement(), record()}; }

std::optional<TestSummary> TestsWindow::reportSummary() const {
  if (!m_printSummary->isChecked()) return std::nullopt;
  const TestJudgement j = judgement();
  return TestSummary{record(), j, findInsulationTests(m_table, j)};
}

TestJudgement TestsWindow::judgement() const {
  TestJudgement j = chosenOptions();
  j.firstDay = firstReadingDay();
  return j;
}

TestJudgement TestsWindow::chosenOptions() const {
  TestJudgement j;
  const std::array kinds = {MinimumClass::FormWound100M, MinimumClass::RandomWound5M,
                            MinimumClass::KvPlusOne, MinimumClass::Fixed};
  j.minimum = kinds[static_cast<std::size_t>(std::max(0, m_minimum->currentIndex()))];
  bool ok = false;
  const double fixedMOhm = m_minimumMOhm->text().toDouble(&ok);
  if (ok && fixedMOhm >= 0) j.fixedMinimumMOhm = fixedMOhm;
  const QString thermal = m_thermal->currentText();
  j.thermalClass = thermal.isEmpty() ? 'B' : thermal.at(0).toLatin1();
  j.dar = m_dar->currentIndex() == 1 ? DarMarks::R60R15 : DarMarks::R60R30;
  j.windingTemperatureC = typedTemperature(m_winding->text().toUtf8().toStdString());
  j.ratedKv = typedRatedKv(m_ratedKv->text().toUtf8().toStdString());
  return j;
}

void TestsWindow::refresh() {
  m_dirty = false;
  // The date worked out from the table walks every record: the worker does that, not the
  // main thread, which asks for an analysis about once a second while readings arrive.
  TestJudgement j = chosenOptions();
  const QString typed = m_date->text().trimmed();
  if (!typed.isEmpty()) {
    j.firstDay = dayFromIsoDate(typed.toStdString());
    m_analysis.request(j);
  } else {
    m_analysis.request(j, tableEnd());
  }
}

void TestsWindow::showTests(std::vector<InsulationTest> tests, std::size_t records) {
  const int chosen = m_list->currentRow();
  m_tests = std::move(tests);
  m_list->setRowCount(static_cast<int>(m_tests.size()));
  int passed = 0;
  int failed = 0;
  for (std::size_t i = 0; i < m_tests.size(); ++i) {
    const InsulationTest& t = m_tests[i];
    const int row = static_cast<int>(i);
    const QStringList cells = {QString::number(t.number),
                               QStringLiteral("%1 V").arg(t.voltageV),
                               utf8(testStartText(t, ' ')),
                               QStringLiteral("%1 s").arg(t.durationS, 0, 'f', 0),
                               QString::number(t.readings),
                               utf8(resistanceText(t.r15)),
                               utf8(resistanceText(t.r30)),
                               utf8(resistanceText(t.r60)),
                               utf8(resistanceText(t.r600)),
                               t.r60At40COhm ? utf8(ohmText(*t.r60At40COhm)) : QStringLiteral("-"),
                               optionalFixed(t.dar, 2),
                               optionalFixed(t.pi, 2),
                               optionalFixed(t.meterPi, 2),
                               t.minOhm ? utf8(ohmText(*t.minOhm)) : QStringLiteral("-"),
                               utf8(t.verdict)};
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = m_list->item(row, c);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        m_list->setItem(row, c, item);
      }
      item->setText(cells[c]);
    }
    const QColor verdictColour = t.verdict == "pass"   ? QColor(200, 240, 200)
                                 : t.verdict == "fail" ? QColor(250, 200, 200)
                                                       : QColor(250, 240, 190);
    m_list->item(row, static_cast<int>(columns.size()) - 1)->setBackground(verdictColour);
    passed += t.verdict == "pass" ? 1 : 0;
    failed += t.verdict == "fail" ? 1 : 0;
  }
  m_list->resizeColumnsToContents();
  m_summary->setText(QStringLiteral("%1 tests in %2 readings: %3 pass, %4 fail, %5 incomplete")
                         .arg(m_tests.size())
                         .arg(records)
                         .arg(passed)
                         .arg(failed)
                         .arg(static_cast<int>(m_tests.size()) - passed - failed));
  if (m_tests.empty()) {
    showChosen();
  } else {
    m_list->selectRow(chosen >= 0 && chosen < static_cast<int>(m_tests.size())
                          ? chosen
                          : static_cast<int>(m_tests.size()) - 1);
    showChosen();
  }
}

void TestsWindow::showChosen() {
  const int row = m_list->currentRow();
  const InsulationTest* test = row >= 0 && row < static_cast<int>(m_tests.size())
                                   ? &m_tests[static_cast<std::size_t>(row)]
                                   : nullptr;
  m_plot->setTest(test);
  QString reasons;
  if (test != nullptr) {
    reasons = QStringLiteral("Test %1 (%2): %3\n")
                  .arg(test->number)
                  .arg(utf8(gbkToUtf8(test->function)))
                  .arg(utf8(test->verdict));
    for (const std::string& reason : test->reasons)
      reasons += QStringLiteral("- ") + utf8(reason) + '\n';
  }
  m_reasons->setPlainText(reasons);
}

}  // namespace ostrel
