#include "TFrmTest.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QScrollArea>

#include "ClickPanel.h"
#include "DisplayMirror.h"
#include "QtDialogs.h"
#include "ScrollContent.h"
#include "app/AppState.h"
#include "decode/DecimalSeparator.h"

namespace ostrel {

namespace {

constexpr std::int32_t limitlessRecordLimit = 10000000;

}  // namespace

TFrmTest::TFrmTest(AppState& state, std::unique_ptr<Dialogs> dialogs, QWidget* parent)
    : QMainWindow(parent),
      m_state(state),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>()) {
  setObjectName(QStringLiteral("FrmTest"));
  buildWindow();
  FormCreate();
}

TFrmTest::~TFrmTest() = default;

void TFrmTest::FormCreate() {
  m_state.AppDirectory = (QCoreApplication::applicationDirPath() + u'/').toStdString();

  m_state.DecimalSeparatorText = decimalSeparatorFromLocale();
  m_decoder =
      std::make_unique<FrameDecoder>(m_display, m_state.reading, m_state.DecimalSeparatorText);
  m_decoder->setTimer2RestartHook([this] {
    if (m_onTimer2Restart) m_onTimer2Restart();
  });
  m_decoder->setRecordHook([this](int mode) {
    if (m_onRecord) m_onRecord(mode);
  });

  set10k->setChecked(true);
  RepeatSet->setChecked(true);
  setWindowTitle(QStringLiteral("Ostrel 1.00"));
}

FrameDecoder::Outcome TFrmTest::ShowData860(std::string_view meterFrame) {
  const FrameDecoder::Outcome outcome = m_decoder->ShowData860(meterFrame);
  Panel4->refresh();
  return outcome;
}

void TFrmTest::setTimer2RestartHook(std::function<void()> hook) {
  m_onTimer2Restart = std::move(hook);
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

void TFrmTest::Panel3Click() { QCoreApplication::quit(); }

void TFrmTest::SetFeatureClick() {
  if (m_onSetFeature) m_onSetFeature();
}

void TFrmTest::MajPrintClick() {
  if (m_onPrint) m_onPrint();
}

void TFrmTest::HELP1Click() {
  const QString helpFile =
      QString::fromStdString(m_state.AppDirectory) + QStringLiteral("kv740.hlp");
  const QFileInfo info(helpFile);
  if (info.isFile() && info.isReadable() && m_dialogs->openDocument(helpFile)) return;
  m_dialogs->showError(this, QStringLiteral("Help"),
                       QStringLiteral("Cannot open the help file %1.").arg(helpFile));
}

void TFrmTest::setRecordLimit(QAction* item, std::int32_t limit) {
  m_state.recording.RecordLimit = limit;
  item->setChecked(true);
}

void TFrmTest::set1kClick() { setRecordLimit(set1k, 1000); }
void TFrmTest::set5kClick() { setRecordLimit(set5k, 5000); }
void TFrmTest::set10kClick() { setRecordLimit(set10k, 10000); }
void TFrmTest::set50kClick() { setRecordLimit(set50k, 50000); }
void TFrmTest::set100kClick() { setRecordLimit(set100k, 100000); }
void TFrmTest::setlimitClick() { setRecordLimit(setlimit, limitlessRecordLimit); }

}  // namespace ostrel
