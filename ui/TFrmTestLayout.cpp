// Construction of the main window's controls at their fixed places.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <functional>

#include "ButtonPictures.h"
#include "ClickPanel.h"
#include "DisplayMirror.h"
#include "MainWindowLayout.h"
#include "ReadingsGrid.h"
#include "ScrollContent.h"
#include "TFrmTest.h"
#include "TestsWindow.h"
#include "WindowFonts.h"

namespace ostrel {

namespace {

// The toolbar's check boxes are laid out for an indicator narrower than Qt's: with the
// usual gap between indicator and caption, "Repeat" is cut to "Repea". A narrower gap fits
// both captions in their fixed boxes, so no box moves.
class CompactCheckBoxStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_CheckBoxLabelSpacing) return 2;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

void useCompactIndicator(QCheckBox* box) {
  auto* style = new CompactCheckBoxStyle;
  style->setParent(box);
  box->setStyle(style);
}

template <typename W>
W* placed(W* widget, const char* name, const QRect& place) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(place);
  return widget;
}

QToolButton* speedButton(QWidget* parent, const char* name, const QRect& place,
                         const QIcon& picture, const QString& hint) {
  auto* button = placed(new QToolButton(parent), name, place);
  button->setIcon(picture);
  button->setIconSize(QSize(16, 16));
  button->setToolTip(hint);
  button->setFocusPolicy(Qt::TabFocus);  // in the Tab order; Space runs it
  return button;
}

}  // namespace

void TFrmTest::buildWindow() {
  setWindowIcon(applicationIcon());
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);

  m_scroll = new QScrollArea(this);
  m_scroll->setObjectName(QStringLiteral("ClientArea"));
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_content = new ScrollContent;
  m_content->setObjectName(QStringLiteral("ScrollContent"));

  Panel2 = placed(new ClickPanel(QStringLiteral("Connect"), m_content), "Panel2", layout::Panel2);
  Panel2->setClickHandler([this] { Panel2Click(); });
  Panel3 = placed(new ClickPanel(QStringLiteral("Exit"), m_content), "Panel3", layout::Panel3);
  Panel3->setClickHandler([this] { Panel3Click(); });

  Panel4 = placed(new DisplayMirror(m_display, m_content), "Panel4", layout::Panel4);

  Panel7 = placed(new BevelPanel({QColor(), Bevel::Lowered, Bevel::None, 0}, m_content), "Panel7",
                  layout::Panel7);
  buildToolbar(Panel7);

  DBGrid1 = placed(new ReadingsGrid(m_content), "DBGrid1", layout::DBGrid1);

  Chtshow = placed(new QWidget(m_content), "Chtshow", layout::Chtshow);

  SetFeature = placed(new QPushButton(QStringLiteral("SetFeature"), m_content), "SetFeature",
                      layout::SetFeature);
  SetFeature->setFont(defaultControlFont());
  connect(SetFeature, &QPushButton::clicked, this, [this] { SetFeatureClick(); });

  m_content->fitToChildren();
  m_scroll->setWidget(m_content);
  setCentralWidget(m_scroll);
  buildMenu();
  // The window's own scroll bars cover the grid's right and bottom edges: the grid fits its
  // rows and scroll bar into the part left in sight whenever that part changes.
  for (QScrollBar* bar : {m_scroll->horizontalScrollBar(), m_scroll->verticalScrollBar()}) {
    connect(bar, &QScrollBar::valueChanged, this, [this] { fitGridToClientViewport(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this] { fitGridToClientViewport(); });
  }

  HELP1 = windowCommand("HELP1", QKeySequence(Qt::Key_F1), [this] { HELP1Click(); });
  windowCommand("SaveKey", QKeySequence::Save, [this] { Save_asClick(); });
  windowCommand("OpenKey", QKeySequence::Open, [this] { OpenClick(); });
  windowCommand("PrintKey", QKeySequence::Print, [this] { MajPrintClick(); });
  windowCommand("ExitKey", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { Panel3Click(); });
  windowCommand("ConnectKey", QKeySequence(Qt::Key_F5), [this] { Panel2Click(); });
  // Tab walks the commands from top to bottom: Connect, Exit, the toolbar, the grid (the
  // chart's controls and SetFeature follow in the order they are made).
  const std::array<QWidget*, 10> tabOrder = {Panel2,       Panel3,       RepeatSet,    RecordSI,
                                             RecordSITime, SpeedButton2, SpeedButton1, SpeedButton3,
                                             MajPrint,     DBGrid1};
  for (std::size_t i = 1; i < tabOrder.size(); ++i) {
    setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }

  SampInterTime = new QTimer(this);
  SampInterTime->setObjectName(QStringLiteral("SampInterTime"));
  SampInterTime->setInterval(1000);

  // Fixed size: the client area below the menu bar. Code may still set another fixed size
  // (the chart's enlarge switch changes the height); the user cannot.
  setFixedSize(layout::clientArea.width(),
               layout::clientArea.height() + menuBar()->sizeHint().height());
}

QAction* TFrmTest::windowCommand(const char* name, const QKeySequence& keys,
                                 const std::function<void()>& run) {
  auto* action = new QAction(this);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  connect(action, &QAction::triggered, this, run);
  addAction(action);
  return action;
}

void TFrmTest::fitGridToClientViewport() {
  const QWidget* viewport = m_scroll->viewport();
  const QRect shown(DBGrid1->mapFrom(viewport, QPoint(0, 0)), viewport->size());
  DBGrid1->fitInto(shown.intersected(DBGrid1->rect()));
}

void TFrmTest::buildToolbar(QWidget* panel) {
  const QFont type = arialFont(11);
  RepeatSet =
      placed(new QCheckBox(QStringLiteral("Repeat"), panel), "RepeatSet", layout::RepeatSet);
  RepeatSet->setFont(type);
  RecordSI = placed(new QCheckBox(QStringLiteral("Sampling Interval              'S"), panel),
                    "RecordSI", layout::RecordSI);
  RecordSI->setFont(type);
  useCompactIndicator(RepeatSet);
  useCompactIndicator(RecordSI);
  RecordSITime =
      placed(new QLineEdit(QStringLiteral("10"), panel), "RecordSITime", layout::RecordSITime);
  RecordSITime->setFont(type);
  RecordSITime->raise();
  RecordHeld = placed(new QLabel(panel), "RecordHeld", layout::RecordHeld);
  RecordHeld->setFont(type);
  QPalette held = RecordHeld->palette();
  held.setColor(QPalette::WindowText, QColor(0xC0, 0x00, 0x00));
  RecordHeld->setPalette(held);
  RecordHeld->hide();

  SpeedButton2 = speedButton(panel, "SpeedButton2", layout::SpeedButton2, deletePicture(),
                             QStringLiteral("Delete Data"));
  SpeedButton1 = speedButton(panel, "SpeedButton1", layout::SpeedButton1, savePicture(),
                             QStringLiteral("Save Data"));
  SpeedButton3 = speedButton(panel, "SpeedButton3", layout::SpeedButton3, openPicture(),
                             QStringLiteral("Open Data"));
  MajPrint = speedButton(panel, "MajPrint", layout::MajPrint, printPicture(),
                         QStringLiteral("Print Data"));
  connect(MajPrint, &QToolButton::clicked, this, [this] { MajPrintClick(); });
}

void TFrmTest::buildMenu() {
  QMenu* record = menuBar()->addMenu(QStringLiteral("Record"));
  record->setObjectName(QStringLiteral("Record"));
  QMenu* recordSet = record->addMenu(QStringLiteral(" RecordSet"));
  recordSet->setObjectName(QStringLiteral("RecordSet"));
  // Captions carry no '&': no item gets a mnemonic, and none has a shortcut key.
  using Handler = void (TFrmTest::*)();
  constexpr std::array<Handler, RecordLimitMenu::entries.size()> handlers = {
      &TFrmTest::set1kClick,  &TFrmTest::set5kClick,   &TFrmTest::set10kClick,
      &TFrmTest::set50kClick, &TFrmTest::set100kClick, &TFrmTest::setlimitClick};
  for (std::size_t i = 0; i < handlers.size(); ++i) {
    const RecordLimitMenu::Entry& entry = RecordLimitMenu::entries[i];
    QAction* action = recordSet->addAction(
        QString::fromLatin1(entry.caption.data(), static_cast<qsizetype>(entry.caption.size())));
    action->setObjectName(
        QString::fromLatin1(entry.name.data(), static_cast<qsizetype>(entry.name.size())));
    action->setCheckable(true);
    connect(action, &QAction::triggered, this,
            [this, handler = handlers[i]] { (this->*handler)(); });
    m_limitItems[i] = action;
  }

  QMenu* tests = menuBar()->addMenu(QStringLiteral("Tests"));
  tests->setObjectName(QStringLiteral("TestsMenu"));
  QAction* showTests = tests->addAction(QStringLiteral("Tests"));
  showTests->setObjectName(QStringLiteral("Tests"));
  connect(showTests, &QAction::triggered, this, [this] { showTestsWindow(); });
}

void TFrmTest::setTableEnd(std::optional<QDateTime> end) {
  m_tableEnd = std::move(end);
  if (m_testsWindow != nullptr) m_testsWindow->setTableEnd(m_tableEnd);
}

void TFrmTest::showTestsWindow() {
  if (m_testsWindow == nullptr) {
    m_testsWindow = new TestsWindow(cds1, this);
    m_testsWindow->setTableEnd(m_tableEnd);
  }
  m_testsWindow->show();
  m_testsWindow->raise();
  m_testsWindow->activateWindow();
}

}  // namespace ostrel
