#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "Dialogs.h"
#include "decode/DisplayModel.h"
#include "decode/FrameDecoder.h"
#include "link/LinkControls.h"
#include "pipeline/FramePipeline.h"
#include "record/ReadingsTable.h"
#include "record/RecordLimitMenu.h"
#include "record/RecordingRules.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTimer;
class QToolButton;
class QKeySequence;

namespace ostrel {

struct AppState;
class ClickPanel;
class DisplayMirror;
class ReadingsGrid;
class ReadingsGridModel;
class BackgroundWork;
class ScrollContent;
class TestsWindow;

// The main window FrmTest. Owns the display model, the frame decoder, the readings table
// cds1 with its recording rules, the hidden link controls and every control of the window;
// reads and writes the program-wide state it is given, which must outlive it. Each
// control's objectName is its name (Panel2, RepeatSet, DBGrid1, ...). Main thread only.
class TFrmTest : public QMainWindow {
 public:
  // dialogs: the modal questions and file choices; nullptr for the real ones.
  explicit TFrmTest(AppState& state, std::unique_ptr<Dialogs> dialogs = nullptr,
                    QWidget* parent = nullptr);
  ~TFrmTest() override;

  [[nodiscard]] DisplayModel& display() { return m_display; }
  [[nodiscard]] ReadingsTable& table() { return cds1; }
  [[nodiscard]] LinkControls& link() { return m_link; }
  [[nodiscard]] AppState& state() { return m_state; }
  // The frame path the meter link feeds (ShowData860 without the mirror's repaint).
  [[nodiscard]] FramePipeline& pipeline() { return *m_pipeline; }

  // The frame path's entry: decodes one meter frame into the mirror and the reading texts,
  // offers the reading for recording and repaints the mirror. Returns at once (no pause).
  FrameDecoder::Outcome ShowData860(std::string_view meterFrame);
  // Run with the row of each record the recording rules appended (never for loaded records).
  void setRecordedHook(std::function<void(std::size_t row)> hook) {
    m_onRecorded = std::move(hook);
  }
  // Run when the records the table held were dropped: "Delete Data" confirmed, or a loaded
  // data packet took their place.
  void setRecordsDroppedHook(std::function<void()> hook) { m_onRecordsDropped = std::move(hook); }

  // Repaints the mirror if the display model changed.
  void refreshMirror();

  // Hooks the program connects. Each runs on the main thread from its control's click.
  void setPrintHandler(std::function<void()> handler) { m_onPrint = std::move(handler); }
  // Given a loaded table on the load's worker thread, does there what the views would do when
  // it takes cds1's place, and returns the step that hands it to them on the main thread,
  // given the table as it will be (the records recorded during the load added).
  using LoadedTableStep = std::function<void(const ReadingsTable& final)>;
  using LoadedTablePreparer = std::function<LoadedTableStep(const ReadingsTable& loaded)>;
  void setLoadedTablePreparer(LoadedTablePreparer preparer) {
    m_prepareLoadedTable = std::move(preparer);
  }
  void setConnectHandler(std::function<void()> handler) { m_onConnect = std::move(handler); }
  void setSetFeatureHandler(std::function<void()> handler) { m_onSetFeature = std::move(handler); }

  // Panel2's caption ("Connect" or "Disconnect").
  [[nodiscard]] QString connectCaption() const;
  void setConnectCaption(const QString& caption);

  // Puts the trend chart in the place of the Chtshow placeholder (same geometry); the
  // window's scrolled content takes ownership.
  void setChart(QWidget* chart);
  // The parent of every top-level control, in whose coordinates they are placed.
  [[nodiscard]] QWidget* scrollContent() const;
  // The visible part of the client area (the scroll area's viewport).
  [[nodiscard]] QWidget* clientViewport() const;

  // Handlers, named after their control and event.
  // "Connect"/"Disconnect" panel: runs the connect handler (the link toggles itself).
  void Panel2Click();
  // "Exit" panel: quits the program. When the table holds readings recorded since it was last
  // saved, emptied or replaced by a packet, asks first (Save / Discard / Cancel; see
  // keepUnsavedReadings). Closing the window asks the same.
  void Panel3Click();
  // Hidden line-settings button: runs the set-feature handler (sends the line settings).
  void SetFeatureClick();
  // Print button: runs the print handler (the report preview); returns when it closed.
  void MajPrintClick();
  // F1: opens the user's manual (found as findManual in HelpManual.h says); a
  // manual that is missing or cannot be opened is reported in a message box.
  void HELP1Click();
  // "Tests": shows the window of the insulation tests found in cds1 (made at first use).
  void showTestsWindow();
  // The Tests window, nullptr before it was first opened.
  [[nodiscard]] TestsWindow* testsWindow() const { return m_testsWindow; }
  // The latest moment cds1's last reading can have been taken (a loaded file's modification
  // time; none: now, as for readings recorded here), which the Tests window dates tests from.
  void setTableEnd(std::optional<QDateTime> end);
  // "Delete Data": asks first; on yes empties cds1 and restarts the numbering at 1.
  void ClearRClick();
  // "Save Data": asks for a file name and saves cds1 there, as it is at the click, on a worker
  // thread (recording goes on); the outcome is shown in a message box. Cancel in the file
  // dialog does nothing; Cancel in the progress dialog leaves the old file as it was.
  void Save_asClick();
  // "Open Data": asks for a file and appends its records to cds1; a failed load is shown in
  // an error box and keeps what was loaded before the failing line. Cancel does nothing. A
  // data packet replaces the table: unsaved readings are asked about first, as for Exit. The
  // file is read on a worker thread; readings recorded meanwhile follow the loaded records
  // (as if the load had happened at the click). Cancel in the progress dialog leaves the
  // table as it was.
  void OpenClick();
  // True when the table holds readings recorded since it was last saved, emptied or
  // replaced by a loaded packet.
  [[nodiscard]] bool hasUnsavedReadings() const { return m_unsavedReadings; }
  // Readings came into the table that no file holds yet (recovered from a journal, say).
  void markReadingsUnsaved() { m_unsavedReadings = true; }
  // The file work (save, load, report) running on a worker thread, one at a time.
  [[nodiscard]] BackgroundWork& fileWork() { return *m_work; }
  // The interval edit changed: restarts the countdown with its text; an invalid text keeps
  // the countdown and is reported in the window (no message box: it is checked per key).
  void RecordSITimeChange();
  // Marks the interval edit and shows in RecordHeld why its text is no interval (ticked or
  // not); the note's tool tip says when the rules hold recording for it.
  void showRecordingHeld();
  // Every second: counts the sampling interval down.
  void SampInterTimeTimer();
  // Record limit menu entries: each sets RecordLimit (1000, 5000, 10000, 50000, 100000,
  // ten million) and checks only its own entry; records already taken stay.
  void set1kClick();
  void set5kClick();
  void set10kClick();
  void set50kClick();
  void set100kClick();
  void setlimitClick();

 private:
  // Start-up: reads the program folder and the locale's decimal separator into the state,
  // creates the frame decoder wired to the recording rules and binds DBGrid1 to cds1.
  void FormCreate();
  void buildWindow();
  void buildToolbar(QWidget* panel);
  void buildMenu();
  void chooseRecordLimit(std::size_t entry);
  void connectRecordingControls();
  void fitGridToClientViewport();
  // A command of the whole window on `keys`, named `name` (a QAction of the window).
  QAction* windowCommand(const char* name, const QKeySequence& keys,
                         const std::function<void()>& run);
  // Save Data's work: false when cancelled or failed.
  bool saveTable();
  // Before unsaved readings would be dropped: true when they may go (none, saved now, or
  // discarded), false to stop (Cancel, or the save was cancelled or failed).
  bool keepUnsavedReadings();
  // While file work runs: Save, Open, Delete, Print and Exit are disabled.
  void setFileWorkBusy(bool busy);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  AppState& m_state;
  std::unique_ptr<Dialogs> m_dialogs;
  DisplayModel m_display;
  LinkControls m_link;
  ReadingsTable cds1;
  RecordingControls m_controls;
  RecordingRules m_rules;
  RecordLimitMenu m_limitMenu;
  std::unique_ptr<FramePipeline> m_pipeline;  // created in FormCreate with the separator
  std::function<void(std::size_t)> m_onRecorded;
  std::function<void()> m_onRecordsDropped;
  bool m_unsavedReadings = false;
  bool m_exitConfirmed = false;  // Exit asked already; closing the window asks no more

  std::function<void()> m_onPrint;
  LoadedTablePreparer m_prepareLoadedTable;
  std::function<void()> m_onConnect;
  std::function<void()> m_onSetFeature;

  QScrollArea* m_scroll = nullptr;
  ScrollContent* m_content = nullptr;
  ClickPanel* Panel2 = nullptr;
  ClickPanel* Panel3 = nullptr;
  DisplayMirror* Panel4 = nullptr;
  QWidget* Panel7 = nullptr;
  QCheckBox* RepeatSet = nullptr;
  QCheckBox* RecordSI = nullptr;
  QLineEdit* RecordSITime = nullptr;
  QLabel* RecordHeld = nullptr;  // says why the interval text is wrong, shown only then
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QToolButton* MajPrint = nullptr;
  ReadingsGrid* DBGrid1 = nullptr;
  ReadingsGridModel* m_gridModel = nullptr;
  QWidget* Chtshow = nullptr;
  QPushButton* SetFeature = nullptr;
  std::array<QAction*, RecordLimitMenu::entries.size()> m_limitItems{};  // set1k .. setlimit
  QAction* HELP1 = nullptr;
  TestsWindow* m_testsWindow = nullptr;
  std::optional<QDateTime> m_tableEnd;
  QTimer* SampInterTime = nullptr;
  std::unique_ptr<BackgroundWork> m_work;
};

}  // namespace ostrel
