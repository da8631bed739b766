// The recording controls of the main window: Repeat, the sampling interval with its edit
// and timer, Delete Data and the record-limit menu.
#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QTimer>
#include <QToolButton>

#include "QtDialogs.h"
#include "TFrmTest.h"
#include "record/IntervalText.h"
#include "ui/KeyPressFilter.h"

namespace ostrel {

void TFrmTest::connectRecordingControls() {
  connect(RepeatSet, &QCheckBox::toggled, this, [this](bool on) { m_controls.RepeatSet = on; });
  connect(RecordSI, &QCheckBox::toggled, this, [this](bool on) {
    m_controls.RecordSI = on;
    showRecordingHeld();
  });
  m_controls.RepeatSet = RepeatSet->isChecked();
  m_controls.RecordSI = RecordSI->isChecked();
  // The start text is in place before the handler is connected: it does not run for it.
  m_controls.RecordSITime = RecordSITime->text().toStdString();
  connect(RecordSITime, &QLineEdit::textChanged, this, [this] { RecordSITimeChange(); });
  new KeyPressFilter([](char& key) { RecordingRules::RecordSITimeKeyPress(key); }, RecordSITime);

  connect(SampInterTime, &QTimer::timeout, this, [this] { SampInterTimeTimer(); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { ClearRClick(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { Save_asClick(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { OpenClick(); });
}

void TFrmTest::RecordSITimeChange() {
  m_controls.RecordSITime = RecordSITime->text().toStdString();
  // Checked as the user types: a wrong text marks the box and the note says why, and no
  // box interrupts the typing (the rules keep the last usable countdown meanwhile).
  m_rules.RecordSITimeChange(m_controls.RecordSITime);
  showRecordingHeld();
}

void TFrmTest::showRecordingHeld() {
  const IntervalReading interval = readInterval(m_controls.RecordSITime);
  const bool wrong = !interval.ok;
  const bool held = m_rules.recordingHeld();
  QPalette marked = RecordSITime->palette();
  marked.setColor(QPalette::Base, QColor(0xFF, 0xC0, 0xC0));
  RecordSITime->setPalette(wrong ? marked : QPalette());
  const QString why = QString::fromStdString(interval.error);
  const QString heldNote = QStringLiteral("Recording held: invalid sampling interval");
  RecordSITime->setToolTip(wrong ? (held ? why + u'\n' + heldNote : why) : QString());
  RecordHeld->setText(why);
  RecordHeld->setToolTip(held ? heldNote : QString());
  RecordHeld->setVisible(wrong);
}

void TFrmTest::SampInterTimeTimer() { m_rules.SampInterTimeTimer(); }

void TFrmTest::ClearRClick() {
  const bool cleared = m_rules.ClearRClick([this](std::string_view question) {
    return m_dialogs->askYesNo(
        this, QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())));
  });
  if (cleared) m_unsavedReadings = false;
  if (cleared) setTableEnd(std::nullopt);
  if (cleared && m_onRecordsDropped) m_onRecordsDropped();
}

void TFrmTest::chooseRecordLimit(std::size_t entry) {
  m_limitMenu.choose(entry);
  for (std::size_t i = 0; i < m_limitItems.size(); ++i) {
    m_limitItems[i]->setChecked(m_limitMenu.isChecked(i));
  }
}

void TFrmTest::set1kClick() { chooseRecordLimit(0); }
void TFrmTest::set5kClick() { chooseRecordLimit(1); }
void TFrmTest::set10kClick() { chooseRecordLimit(2); }
void TFrmTest::set50kClick() { chooseRecordLimit(3); }
void TFrmTest::set100kClick() { chooseRecordLimit(4); }
void TFrmTest::setlimitClick() { chooseRecordLimit(5); }

}  // namespace ostrel
