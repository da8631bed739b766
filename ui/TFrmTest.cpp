#include "TFrmTest.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QTimer>

#include "ClickPanel.h"
#include "DisplayMirror.h"
#include "HelpManual.h"
#include "QtDialogs.h"
#include "ReadingsGrid.h"
#include "ReadingsGridModel.h"
#include "ScrollContent.h"
#include "decode/DecimalSeparator.h"
#include "ui/AppState.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {

TFrmTest::TFrmTest(AppState& state, std::unique_ptr<Dialogs> dialogs, QWidget* parent)
    : QMainWindow(parent),
      m_state(state),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>()),
      m_rules(cds1, state.recording, m_controls),
      m_limitMenu(state.recording) {
  setObjectName(QStringLiteral("FrmTest"));
  m_work = std::make_unique<BackgroundWork>(this);
  m_work->setBusyHook([this](bool busy) { setFileWorkBusy(busy); });
  buildWindow();
  connectRecordingControls();
  FormCreate();
  SampInterTime->start();
}

TFrmTest::~TFrmTest() {
  m_work.reset();  // stops and joins a running worker before anything else goes
  // The grid's model observes cds1, a member that goes before the window's children do.
  DBGrid1->setModel(nullptr);
  delete m_gridModel;
}

void TFrmTest::FormCreate() {
  m_state.AppDirectory = (QCoreApplication::applicationDirPath() + u'/').toStdString();

  m_state.DecimalSeparatorText = decimalSeparatorFromLocale();
  m_pipeline = std::make_unique<FramePipeline>(m_display, m_state.reading, m_rules,
                                               m_state.DecimalSeparatorText);
  m_pipeline->setOfferedHook([this](int /*mode*/, bool recorded) {
    if (!recorded) return;
    m_unsavedReadings = true;
    if (m_onRecorded) m_onRecorded(cds1.recordCount() - 1);
  });

  m_limitItems[m_limitMenu.checkedIndex()]->setChecked(true);

  m_gridModel = new ReadingsGridModel(cds1, this);
  DBGrid1->setModel(m_gridModel);

  RepeatSet->setChecked(true);
  setWindowTitle(QStringLiteral("Ostrel 1.00"));
}

FrameDecoder::Outcome TFrmTest::ShowData860(std::string_view meterFrame) {
  const FrameDecoder::Outcome outcome = m_pipeline->ShowData860(meterFrame);
  Panel4->refresh();
  return outcome;
}

void TFrmTest::refreshMirror() { Panel4->refresh(); }

QString TFrmTest::connectCaption() const { return Panel2->caption(); }

void TFrmTest::setConnectCaption(const QString& caption) { Panel2->setCaption(caption); }

void TFrmTest::setChart(QWidget* chart) {
  chart->setParent(m_content);
  chart->setGeometry(Chtshow->geometry());
  chart->show();
  delete Chtshow;
  Chtshow = chart;
  m_content->fitToChildren();
}

QWidget* TFrmTest::scrollContent() const { return m_content; }

QWidget* TFrmTest::clientViewport() const { return m_scroll->viewport(); }

void TFrmTest::Panel2Click() {
  if (m_onConnect) m_onConnect();
}

void TFrmTest::Panel3Click() {
  if (m_work->busy() || !keepUnsavedReadings()) return;
  m_exitConfirmed = true;
  QCoreApplication::quit();
}

void TFrmTest::closeEvent(QCloseEvent* event) {
  // While file work runs the window stays: its progress dialog offers Cancel.
  if (m_work->busy() || (!m_exitConfirmed && !keepUnsavedReadings())) {
    event->ignore();
    return;
  }
  event->accept();
}

void TFrmTest::SetFeatureClick() {
  if (m_onSetFeature) m_onSetFeature();
}

void TFrmTest::MajPrintClick() {
  if (m_onPrint && !m_work->busy()) m_onPrint();
}

void TFrmTest::HELP1Click() {
  const ManualLocation manual = findManual(QString::fromStdString(m_state.AppDirectory));
  if (manual.found && m_dialogs->openManual(this, manual.page)) return;
  m_dialogs->showError(this, QStringLiteral("Help"),
                       QStringLiteral("Cannot open the help file %1.").arg(manual.page));
}

}  // namespace ostrel
