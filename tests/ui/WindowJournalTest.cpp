// The window's recording journal: recovery after a kill, clean ends, two windows, a full disk,
// journals left behind (damaged, unreadable), and what is and is not journaled.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QAbstractItemModel>
#include <QDir>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "StubDialogs.h"
#include "record/JournalFile.h"
#include "record/JournalRecovery.h"
#include "record/TableFiles.h"
#include "sim/frames/FrameBuilder.h"
#include "ui/AppState.h"
#include "ui/TFrmTest.h"
#include "ui/WindowJournal.h"
#include "ui/work/BackgroundWork.h"

// The journal's syncs and removals, watched: this binary puts its own fdatasync and unlinkat
// in place of the C library's. While `slowSyncOf` names a file, each fdatasync of it takes a
// while before it is done and counted; an unlinkat of any other journal notes how many were
// done by then.
namespace {

std::mutex watchedMutex;
std::string slowSyncOf;       // guarded by watchedMutex
int slowSyncsDone = 0;        // guarded
int slowSyncsAtRemoval = -1;  // guarded: slowSyncsDone when another journal was removed

std::string pathOfDescriptor(int fd) {
  char target[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

extern "C" int fdatasync(int fd) {
  std::string watched;
  {
    const std::lock_guard lock(watchedMutex);
    watched = slowSyncOf;
  }
  const bool slow = !watched.empty() && pathOfDescriptor(fd) == watched;
  if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int result = static_cast<int>(::syscall(SYS_fdatasync, fd));
  if (slow) {
    const std::lock_guard lock(watchedMutex);
    ++slowSyncsDone;
  }
  return result;
}

extern "C" int unlinkat(int folder, const char* name, int flags) {
  {
    const std::lock_guard lock(watchedMutex);
    const std::string_view removed(name);
    if (!slowSyncOf.empty() && removed.rfind("recording-", 0) == 0 &&
        !slowSyncOf.ends_with(removed)) {
      slowSyncsAtRemoval = slowSyncsDone;
    }
  }
  return static_cast<int>(::syscall(SYS_unlinkat, folder, name, flags));
}

namespace ostrel::test {

namespace {

// What `work` writes to standard error (through a file in the test's temporary folder).
template <typename Work>
QString standardErrorOf(const QString& file, Work work) {
  std::fflush(stderr);
  const int kept = ::dup(STDERR_FILENO);
  const int into = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(into, STDERR_FILENO);
  ::close(into);
  work();
  std::fflush(stderr);
  ::dup2(kept, STDERR_FILENO);
  ::close(kept);
  QFile written(file);
  written.open(QIODevice::ReadOnly);
  return QString::fromLocal8Bit(written.readAll());
}

// Grid rows, cells joined by tabs, as the window shows them.
QStringList gridRows(TFrmTest& window) {
  const QAbstractItemModel* model =
      window.findChild<QTableView*>(QStringLiteral("DBGrid1"))->model();
  QStringList rows;
  for (int row = 0; row < model->rowCount(); ++row) {
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column) {
      cells << model->data(model->index(row, column)).toString();
    }
    rows << cells.join(u'\t');
  }
  return rows;
}

void record(TFrmTest& window, const char* value) {
  window.ShowData860(sim::FrameBuilder().mainDigits(value).unit("M\u03A9").text());
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

const std::string& header() { return JournalFile::headerLine(); }

// A left journal of `count` readings numbered from 1, one a second from 10:00:00.
std::string journalOf(std::size_t count) {
  std::string bytes = header();
  for (std::size_t i = 0; i < count; ++i) {
    bytes += std::to_string(i + 1) + '\t' +
             journalTimeText(static_cast<std::int32_t>((36000 + i % 50000) * 1000)) +
             "\t1.5\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tPI\r\n";
  }
  return bytes;
}

// Turns the event loop until the journal's scan is done and its question answered.
void waitForScan(WindowJournal& journal) {
  QVERIFY(QTest::qWaitFor([&] { return !journal.scanning(); }, 60000));
}

// A window with its journal in `folder`, answering questions with `yes`. With `wait`, the
// scan for left journals is done (its question answered) when this is made.
struct JournaledWindow {
  JournaledWindow(const QString& folder, bool yes, bool wait = true) {
    log.yesNoAnswer = yes;
    window = std::make_unique<TFrmTest>(state, std::make_unique<StubDialogs>(log));
    journal = std::make_unique<WindowJournal>(*window, folder.toStdString(),
                                              std::make_unique<StubDialogs>(log));
    window->show();
    journal->start();
    if (wait) waitForScan(*journal);
  }
  ~JournaledWindow() {
    journal.reset();
    window.reset();
  }

  DialogLog log;
  AppState state;
  std::unique_ptr<TFrmTest> window;
  std::unique_ptr<WindowJournal> journal;
};

}  // namespace

class WindowJournalTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_state;

  QString folder() const { return m_state.path() + QStringLiteral("/ostrel"); }
  QStringList journals(const QString& pattern = QStringLiteral("recording-*.txt")) const {
    return QDir(folder()).entryList({pattern}, QDir::Files | QDir::System);
  }
  QProcess* startChild(const QString& mode, int count,
                       const QList<std::pair<QString, QString>>& variables = {}) {
    auto* child = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : variables) env.insert(name, value);
    env.insert(QStringLiteral("XDG_STATE_HOME"), m_state.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child->setProcessEnvironment(env);
    child->start(QStringLiteral(OSTREL_JOURNAL_CHILD), {mode, QString::number(count)});
    return child;
  }
  // The grid rows the child printed before "ready".
  static QStringList childGrid(QProcess& child) {
    QStringList rows;
    for (;;) {
      while (!child.canReadLine()) {
        if (!child.waitForReadyRead(30000)) return rows << QStringLiteral("(child gave no rows)");
      }
      const QString line = QString::fromUtf8(child.readLine()).chopped(1);
      if (line == QStringLiteral("ready")) return rows;
      rows << line;
    }
  }

 private slots:
  void init() {
    QVERIFY(QDir(m_state.path()).removeRecursively());
    QVERIFY(QDir().mkpath(m_state.path()));
  }

  // Readings recorded through the virtual meter in a child, which is then killed: the next
  // window offers them once and, answered Yes, shows exactly what the child's grid showed,
  // numbering on after them in the same journal; its clean end then removes the journal.
  void recoversTheGridAfterAKill() {
    QProcess* child = startChild(QStringLiteral("wait"), 5);
    const QStringList shown = childGrid(*child);
    QCOMPARE(shown.size(), 5);
    ::kill(static_cast<pid_t>(child->processId()), SIGKILL);
    QVERIFY(child->waitForFinished(10000));
    QCOMPARE(child->exitStatus(), QProcess::CrashExit);
    QCOMPARE(journals().size(), 1);

    JournaledWindow w(folder(), true);
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(5)});
    QCOMPARE(gridRows(*w.window), shown);
    QCOMPARE(w.state.recording.RecordNo, shown.last().section(u'\t', 0, 0).toInt() + 1);

    record(*w.window, "2.345");
    QCOMPARE(w.window->table().no(5), shown.last().section(u'\t', 0, 0).toInt() + 1);
    w.journal->flush();
    QCOMPARE(journals().size(), 1);
    const QByteArray journal = readAll(folder() + u'/' + journals().first());
    QCOMPARE(journal.count("\r\n"), 7);  // header, five recovered, one new
    QVERIFY(w.log.errors.isEmpty());

    w.journal->endCleanly();
    QVERIFY(journals().isEmpty());
  }

  // A journal does not depend on the locale it was written in: recorded under a 12-hour
  // clock ("07:52:07 PM"), it is recovered under another locale with every time exactly as
  // recorded, milliseconds included.
  void aJournalFromAnotherLocaleIsRecoveredWithItsTimes() {
    QTemporaryDir locales;
    const QString twelveHours = QStringLiteral("en_US.UTF-8");
    const QString command = QStringLiteral("localedef -i en_US -f UTF-8 %1/%2 >/dev/null 2>&1")
                                .arg(locales.path(), twelveHours);
    if (std::system(command.toLocal8Bit().constData()) != 0) {
      QSKIP("cannot make en_US.UTF-8 with localedef (Debian package \"locales\" missing?)");
    }
    QProcess* child = startChild(
        QStringLiteral("wait"), 4,
        {{QStringLiteral("LOCPATH"), locales.path()}, {QStringLiteral("LC_ALL"), twelveHours}});
    const QStringList shown = childGrid(*child);
    QCOMPARE(shown.size(), 4);
    QVERIFY2(shown.first().contains(QStringLiteral(" AM")) ||
                 shown.first().contains(QStringLiteral(" PM")),
             qPrintable(shown.first()));  // the child did run under a 12-hour clock
    ::kill(static_cast<pid_t>(child->processId()), SIGKILL);
    QVERIFY(child->waitForFinished(10000));
    QCOMPARE(journals().size(), 1);
    const QByteArray journal = readAll(folder() + u'/' + journals().first());

    JournaledWindow w(folder(), true);  // this process runs in "C"
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(4)});
    QVERIFY(w.log.errors.isEmpty());
    const ReadingsTable& table = w.window->table();
    QCOMPARE(table.recordCount(), std::size_t{4});
    const QList<QByteArray> lines = journal.split('\n');
    for (std::size_t row = 0; row < 4; ++row) {
      const QByteArray time = lines[static_cast<qsizetype>(row) + 1].split('\t').value(1);
      QCOMPARE(QString::fromLatin1(time),
               QString::fromStdString(journalTimeText(table.timeMs(row).value_or(-1))));
    }
  }

  // One damaged line in the middle of a journal leaves out that line only: every other
  // reading is offered, and the question says how many lines were left out.
  void aDamagedMiddleLineIsLeftOutAndTold() {
    QVERIFY(QDir().mkpath(folder()));
    QVERIFY(QFile::setPermissions(
        folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    writeFile(folder() + QStringLiteral("/recording-abcdef.txt"),
              header() + "1\t14:30:05.120\t1.234\tM\xA6\xB8\tIR:500V\tTimed\r\n" +
                  "2\t14:3\x01\xFF\r\n" + "3\t14:30:07.999\t0.5\tG\xA6\xB8\tIR:500V\tTimed\r\n");
    JournaledWindow w(folder(), true);
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(2, 1)});
    QVERIFY(w.log.questions.first().contains(QStringLiteral("One damaged line")));
    QVERIFY(w.log.errors.isEmpty());
    const ReadingsTable& table = w.window->table();
    QCOMPARE(table.recordCount(), std::size_t{2});
    QCOMPARE(table.no(1), std::optional<std::int32_t>(3));
    QCOMPARE(table.timeMs(0), std::optional<std::int32_t>(((14 * 60 + 30) * 60 + 5) * 1000 + 120));
    QCOMPARE(table.timeMs(1), std::optional<std::int32_t>(((14 * 60 + 30) * 60 + 7) * 1000 + 999));
  }

  // Without a state folder (HOME and XDG_STATE_HOME unset) nothing is journaled, and the
  // window says once that readings are not protected.
  void noStateFolderIsToldOnce() {
    JournaledWindow w(QString(), true);
    w.journal->start();
    record(*w.window, "1.000");
    QCOMPARE(w.log.messages, QStringList{QString::fromUtf8(WindowJournal::unprotectedMessage)});
    QVERIFY(!QDir(folder()).exists());
  }

  // A journal folder that its group or others may write to, a symbolic link in its place, or
  // one that is not the user's own, is not trusted: no recovery is offered from it, one
  // message says why, and the readings recorded (before the scan is done and after) are
  // recorded without a journal: nothing is written into the folder.
  void anUntrustedFolderIsNeitherReadNorWritten_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("link");
    QTest::addColumn<QString>("reason");
    const QString othersWrite = QStringLiteral("others may write to it");
    QTest::newRow("0777") << 0777 << false << othersWrite;
    QTest::newRow("0775") << 0775 << false << othersWrite;
    QTest::newRow("0770") << 0770 << false << othersWrite;
    QTest::newRow("symbolic link") << 0700 << true << QStringLiteral("it is a symbolic link");
  }
  void anUntrustedFolderIsNeitherReadNorWritten() {
    QFETCH(int, mode);
    QFETCH(bool, link);
    QFETCH(QString, reason);
    const QString real = link ? m_state.path() + QStringLiteral("/elsewhere") : folder();
    QVERIFY(QDir().mkpath(real));
    const std::string left = header() + "1\t14:30:05.120\t1.234\tM\xA6\xB8\tIR:500V\tTimed\r\n";
    writeFile(real + QStringLiteral("/recording-abcdef.txt"), left);
    QVERIFY(::chmod(QFile::encodeName(real).constData(), static_cast<mode_t>(mode)) == 0);
    if (link) QVERIFY(QFile::link(real, folder()));
    {
      JournaledWindow w(folder(), true, false);
      record(*w.window, "1.000");  // before the scan is done
      w.journal->flush();
      waitForScan(*w.journal);
      record(*w.window, "1.001");
      w.journal->flush();
      QCoreApplication::processEvents();
      QVERIFY(w.log.questions.isEmpty());
      QCOMPARE(w.log.errors.size(), 1);
      QVERIFY2(w.log.errors.first().contains(reason), qPrintable(w.log.errors.first()));
      QCOMPARE(w.window->table().recordCount(), std::size_t{2});
    }  // no clean end: a journal written would stay
    QCOMPARE(
        QDir(real).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList{QStringLiteral("recording-abcdef.txt")});
    QCOMPARE(readAll(real + QStringLiteral("/recording-abcdef.txt")).toStdString(), left);
  }

  // A folder that is not the user's own (as root only: the test gives it away).
  void aFolderOfAnotherUserIsNotTrusted() {
    if (::geteuid() != 0) QSKIP("only root can give a folder to another user");
    QVERIFY(QDir().mkpath(folder()));
    QVERIFY(::chmod(QFile::encodeName(folder()).constData(), 0700) == 0);
    QVERIFY(::chown(QFile::encodeName(folder()).constData(), 65534, 65534) == 0);
    {
      JournaledWindow w(folder(), true);
      record(*w.window, "1.000");
      w.journal->flush();
      QVERIFY(w.log.questions.isEmpty());
      QCOMPARE(w.log.errors.size(), 1);
      QVERIFY2(w.log.errors.first().contains(QStringLiteral("belongs to another user")),
               qPrintable(w.log.errors.first()));
    }  // no clean end: a journal written would stay
    QVERIFY(::chown(QFile::encodeName(folder()).constData(), 0, 0) == 0);
    QCOMPARE(QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{});
  }

  // A journal that cannot be removed at a clean end (a folder took its name) is reported, in
  // the box and on standard error with the journal's name and the system's reason.
  void aFailedRemovalAtACleanEndIsReported() {
    JournaledWindow w(folder(), true);
    record(*w.window, "1.000");
    w.journal->flush();
    const QString path = folder() + u'/' + journals().first();
    QVERIFY(QFile::rename(path, path + QStringLiteral(".moved")));
    QVERIFY(QDir().mkdir(path));
    const QString said = standardErrorOf(m_state.path() + QStringLiteral("/stderr.txt"),
                                         [&] { w.journal->endCleanly(); });
    QCOMPARE(w.log.errors.size(), 1);
    QVERIFY2(w.log.errors.first().contains(QStringLiteral("could not be removed")),
             qPrintable(w.log.errors.first()));
    QVERIFY2(said.contains(QStringLiteral("could not be removed")) && said.contains(path) &&
                 said.contains(QString::fromLocal8Bit(std::strerror(EISDIR))),
             qPrintable(said));
    QVERIFY(QFileInfo(path).isDir());  // what stood under the journal's name is kept
  }

  // "Exit" and closing the window are clean ends: no journal is left.
  void cleanEndsLeaveNoJournal_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("Exit") << QStringLiteral("exit");
    QTest::newRow("window closed") << QStringLiteral("close");
  }
  void cleanEndsLeaveNoJournal() {
    QFETCH(QString, mode);
    QProcess* child = startChild(mode, 2);
    QCOMPARE(childGrid(*child).size(), 2);
    QVERIFY(child->waitForFinished(30000));
    QCOMPARE(child->exitStatus(), QProcess::NormalExit);
    QCOMPARE(child->exitCode(), 0);
    QVERIFY(QDir(folder()).exists());
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{});
  }

  // Two windows at once keep a journal each; the second does not offer the first's.
  void twoWindowsKeepTwoJournals() {
    JournaledWindow first(folder(), true);
    record(*first.window, "1.000");
    record(*first.window, "1.001");
    first.journal->flush();
    JournaledWindow second(folder(), true);
    QVERIFY(second.log.questions.isEmpty());
    record(*second.window, "2.000");
    second.journal->flush();

    QStringList lines;
    for (const QString& name : journals()) {
      lines << QString::number(readAll(folder() + u'/' + name).count("\r\n") - 1);
    }
    lines.sort();
    QCOMPARE(lines, (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
  }

  // A full disk (a file-size limit): recording goes on, one message says the journal stopped,
  // and the journal keeps whole records only.
  void fullDiskStopsTheJournalWithOneMessage() {
    JournaledWindow w(folder(), true);
    record(*w.window, "1.000");
    w.journal->flush();
    const QString path = folder() + u'/' + journals().first();

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(readAll(path).size() + 70);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    for (const char* value : {"1.001", "1.002", "1.003", "1.004"}) record(*w.window, value);
    w.journal->flush();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    record(*w.window, "1.005");
    QCoreApplication::processEvents();

    QCOMPARE(w.window->table().recordCount(), std::size_t{6});
    QCOMPARE(w.log.errors.size(), 1);
    QVERIFY2(w.log.errors.first().contains(QStringLiteral("recording journal stopped")),
             qPrintable(w.log.errors.first()));
    const JournalContent kept =
        readJournal(readAll(path).toStdString(), LongTimeFormat::fromEnvironment());
    QCOMPARE(kept.kind, JournalContent::Kind::Records);
    QVERIFY(!kept.droppedLastLine);
    QVERIFY(kept.records->recordCount() >= 1 && kept.records->recordCount() < 6);
  }

  // Loaded records are not journaled; "Delete Data" and a loaded data packet (which replaces
  // the recorded records) empty the journal.
  void journalsOnlyRecordedReadings() {
    JournaledWindow w(folder(), true);
    const QString text = m_state.path() + QStringLiteral("/three.txt");
    writeFile(text, header() +
                        "7\t10:00:00\t1\tV\tDCV  600V\tContinuous\r\n"
                        "8\t10:00:01\t2\tV\tDCV  600V\tContinuous\r\n");
    record(*w.window, "1.000");
    w.log.openAnswer = text;
    w.window->OpenClick();
    record(*w.window, "1.001");
    w.journal->flush();
    const QString path = folder() + u'/' + journals().first();
    const JournalContent journaled =
        readJournal(readAll(path).toStdString(), LongTimeFormat::fromEnvironment());
    QCOMPARE(journaled.records->recordCount(), std::size_t{2});
    QCOMPARE(journaled.records->no(1), std::optional<std::int32_t>(2));

    const QString packet = m_state.path() + QStringLiteral("/t.xml");
    QVERIFY(SaveTableToFile(w.window->table(), packet.toStdString()).ok());
    w.log.openAnswer = packet;
    w.log.unsavedAnswer = UnsavedReadingsAnswer::Discard;  // saved outside the window
    w.window->OpenClick();
    w.journal->flush();
    QCOMPARE(readAll(path).toStdString(), header());

    record(*w.window, "1.002");
    w.log.yesNoAnswer = true;
    w.window->ClearRClick();
    w.journal->flush();
    QCOMPARE(readAll(path).toStdString(), header());
  }

  // A journal left behind: Yes loads it without its damaged last line, as readings still to
  // be saved; No deletes it.
  void offersALeftJournal_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
  }
  void offersALeftJournal() {
    QFETCH(bool, yes);
    QVERIFY(QDir().mkpath(folder()));
    const QString left = folder() + QStringLiteral("/recording-abcdef.txt");
    writeFile(left, header() + "4\t10:00:00\t1.5\tNULL\tIR:500V 20G\xA6\xB8\tPI\r\n" +
                        "5\t10:00:02\t1.6\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tPI\r\n" + "6\t10:0");

    JournaledWindow w(folder(), yes);
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(2)});
    if (yes) {
      QCOMPARE(gridRows(*w.window),
               (QStringList{QStringLiteral("4\t10:00:00\t1.5\t\tIR:500V 20G\u03A9\tPI"),
                            QStringLiteral("5\t10:00:02\t1.6\tM\u03A9\tIR:500V 20G\u03A9\tPI")}));
      QCOMPARE(w.state.recording.RecordNo, 6);
      QCOMPARE(w.state.recording.LastRecordedValue, std::string("1.6"));
      QCOMPARE(journals(), QStringList{QStringLiteral("recording-abcdef.txt")});
      // Recovered readings are saved nowhere yet: Exit must ask before dropping them.
      QVERIFY(w.window->hasUnsavedReadings());
    } else {
      QCOMPARE(w.window->table().recordCount(), std::size_t{0});
      QVERIFY(!w.window->hasUnsavedReadings());
      QCOMPARE(w.state.recording.RecordNo, 1);
      QVERIFY(journals().isEmpty());
    }
    QVERIFY(w.log.errors.isEmpty());
  }

  // An unreadable journal (not a journal's header) is renamed aside and reported, never
  // deleted; nothing is asked.
  void reportsAnUnreadableJournal() {
    QVERIFY(QDir().mkpath(folder()));
    const std::string damaged =
        "Measurement No.\tTime\r\n" + std::string("2\t10:00:01\t1.6\tV\tDCV  600V\tContinuous\r\n");
    writeFile(folder() + QStringLiteral("/recording-zzzzzz.txt"), damaged);

    JournaledWindow w(folder(), true);
    QVERIFY(w.log.questions.isEmpty());
    QCOMPARE(w.log.errors.size(), 1);
    const QString kept = folder() + QStringLiteral("/unreadable-recording-zzzzzz.txt");
    QVERIFY2(w.log.errors.first().contains(kept), qPrintable(w.log.errors.first()));
    QCOMPARE(readAll(kept).toStdString(), damaged);
    QVERIFY(journals().isEmpty());
  }

  // The scan of a long journal runs while the window's event loop turns (a 0-ms timer fires
  // and records meanwhile); the question comes afterwards with every record.
  void aLongJournalIsScannedWhileTheWindowAnswers() {
    QVERIFY(QDir().mkpath(folder()));
    constexpr std::size_t count = 300'000;
    writeFile(folder() + QStringLiteral("/recording-abcdef.txt"), journalOf(count));
    JournaledWindow w(folder(), true, false);
    int firesDuringScan = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (!w.journal->scanning() || !w.log.questions.isEmpty()) return;
      if (++firesDuringScan <= 2) record(*w.window, firesDuringScan == 1 ? "2.000" : "2.001");
    });
    timer.start(0);
    waitForScan(*w.journal);
    QVERIFY(firesDuringScan > 0);
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(count)});
    const std::size_t live = std::min(firesDuringScan, 2);
    QCOMPARE(w.window->table().recordCount(), count + live);
    QCOMPARE(w.window->table().no(count - 1), std::optional<std::int32_t>(count));
    QCOMPARE(w.window->table().text(count, ReadingsTable::Value),
             std::optional<std::string_view>("2.000"));
    QVERIFY(w.log.errors.isEmpty());
  }

  // Readings recorded while the scan runs: Yes puts the recovered ones before them, numbers
  // them on after the recovered ones, and goes on in the recovered journal alone (holding
  // them all, in order); No keeps them as they are, in this run's journal alone.
  void readingsRecordedDuringTheScan_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
  }
  void readingsRecordedDuringTheScan() {
    QFETCH(bool, yes);
    QVERIFY(QDir().mkpath(folder()));
    writeFile(folder() + QStringLiteral("/recording-abcdef.txt"), journalOf(3));
    JournaledWindow w(folder(), yes, false);
    // The scan's result comes through the event loop, which has not turned yet.
    record(*w.window, "2.000");
    record(*w.window, "2.001");
    QVERIFY(w.log.questions.isEmpty());
    waitForScan(*w.journal);
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(3)});
    record(*w.window, "2.002");
    w.journal->flush();

    const ReadingsTable& table = w.window->table();
    const std::vector<std::int32_t> numbers =
        yes ? std::vector<std::int32_t>{1, 2, 3, 4, 5, 6} : std::vector<std::int32_t>{1, 2, 3};
    QCOMPARE(table.recordCount(), numbers.size());
    for (std::size_t row = 0; row < numbers.size(); ++row) {
      QCOMPARE(table.no(row), std::optional<std::int32_t>(numbers[row]));
    }
    QCOMPARE(table.text(numbers.size() - 3, ReadingsTable::Value),
             std::optional<std::string_view>("2.000"));
    QCOMPARE(journals().size(), 1);
    if (yes) QCOMPARE(journals().first(), QStringLiteral("recording-abcdef.txt"));
    const JournalContent journaled =
        readJournal(readAll(folder() + u'/' + journals().first()).toStdString(),
                    LongTimeFormat::fromEnvironment());
    QCOMPARE(journaled.records->recordCount(), table.recordCount());
    for (std::size_t row = 0; row < table.recordCount(); ++row) {
      QCOMPARE(journaled.records->no(row), table.no(row));
      QCOMPARE(journaled.records->text(row, ReadingsTable::Value),
               table.text(row, ReadingsTable::Value));
    }
    QVERIFY(w.log.errors.isEmpty());
  }

  // Yes with readings recorded during the scan: this run's journal is removed only once those
  // readings are synced in the recovered journal (its sync is slowed down, so a removal that
  // does not wait for it comes first).
  void thisRunsJournalGoesOnlyOnceTheRecoveredOneIsSynced() {
    QVERIFY(QDir().mkpath(folder()));
    const QString recovered = folder() + QStringLiteral("/recording-abcdef.txt");
    writeFile(recovered, journalOf(3));
    {
      const std::lock_guard lock(watchedMutex);
      slowSyncOf = QFile::encodeName(recovered).toStdString();
      slowSyncsDone = 0;
      slowSyncsAtRemoval = -1;
    }
    JournaledWindow w(folder(), true, false);
    record(*w.window, "2.000");
    w.journal->flush();  // this run's journal exists
    QCOMPARE(journals().size(), 2);
    waitForScan(*w.journal);
    int syncsAtRemoval = 0;
    {
      const std::lock_guard lock(watchedMutex);
      syncsAtRemoval = slowSyncsAtRemoval;
      slowSyncOf.clear();
    }
    QCOMPARE(journals(), QStringList{QStringLiteral("recording-abcdef.txt")});
    QVERIFY2(syncsAtRemoval >= 1, qPrintable(QString::number(syncsAtRemoval)));
    QCOMPARE(readAll(recovered).count("\r\n"), 5);  // header, three recovered, one live
  }

  // A reading recorded while a data packet loads follows the packet's records in the table and
  // is the journal's only record afterwards (the loaded ones are not journaled). The load is
  // held until the reading is in.
  void aReadingRecordedDuringAPacketLoadReachesTheJournal() {
    JournaledWindow w(folder(), true);
    const QString packet = m_state.path() + QStringLiteral("/t.xml");
    ReadingsTable two;
    two.append({7, 36'000'000, "1", "V", "DCV  600V", "Continuous"});
    two.append({8, 36'001'000, "2", "V", "DCV  600V", "Continuous"});
    QVERIFY(SaveTableToFile(two, packet.toStdString()).ok());
    std::atomic<bool> recorded{false};
    w.window->setLoadedTablePreparer([&recorded](const ReadingsTable&) {
      for (int i = 0; i < 600 && !recorded; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      return TFrmTest::LoadedTableStep();
    });
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
      if (recorded || !w.window->fileWork().busy()) return;
      record(*w.window, "3.000");
      recorded = true;
    });
    during.start(0);
    w.log.openAnswer = packet;
    w.window->OpenClick();
    during.stop();
    QVERIFY(recorded);
    QCOMPARE(w.window->table().recordCount(), std::size_t{3});
    w.journal->flush();
    QCOMPARE(journals().size(), 1);
    const JournalContent journaled =
        readJournal(readAll(folder() + u'/' + journals().first()).toStdString(),
                    LongTimeFormat::fromEnvironment());
    QCOMPARE(journaled.records->recordCount(), std::size_t{1});
    QCOMPARE(journaled.records->text(0, ReadingsTable::Value),
             std::optional<std::string_view>("3.000"));
  }

  // A file loaded during the scan: the table is not only this run's readings, so nothing is
  // asked and the left journal stays, as it was, for a later start.
  void aFileLoadedDuringTheScanKeepsTheJournalForLater() {
    QVERIFY(QDir().mkpath(folder()));
    const std::string left = journalOf(3);
    writeFile(folder() + QStringLiteral("/recording-abcdef.txt"), left);
    const QString text = m_state.path() + QStringLiteral("/loaded.txt");
    writeFile(text, header() + "7\t10:00:00\t1\tV\tDCV  600V\tContinuous\r\n");
    JournaledWindow w(folder(), true, false);
    w.log.openAnswer = text;
    w.window->OpenClick();
    waitForScan(*w.journal);
    QVERIFY(w.log.questions.isEmpty());
    QCOMPARE(w.window->table().recordCount(), std::size_t{1});
    QCOMPARE(readAll(folder() + QStringLiteral("/recording-abcdef.txt")).toStdString(), left);
  }

  // Closing the window while the scan runs neither hangs nor crashes; the left journal stays
  // as it was and is offered at the next start.
  void closingDuringTheScanKeepsTheJournal() {
    QVERIFY(QDir().mkpath(folder()));
    const std::string left = journalOf(300'000);
    writeFile(folder() + QStringLiteral("/recording-abcdef.txt"), left);
    {
      JournaledWindow w(folder(), true, false);
      record(*w.window, "2.000");
      w.window->close();
      w.journal->endCleanly();
      QCoreApplication::processEvents();
      QVERIFY(w.log.questions.isEmpty());
      QVERIFY(w.log.errors.isEmpty());
    }
    {
      JournaledWindow w(folder(), false, false);  // dropped before its scan is done
    }
    QCOMPARE(journals(), QStringList{QStringLiteral("recording-abcdef.txt")});
    QCOMPARE(readAll(folder() + QStringLiteral("/recording-abcdef.txt")).toStdString(), left);
    JournaledWindow w(folder(), false);
    QCOMPARE(w.log.questions, QStringList{WindowJournal::recoverQuestion(300'000)});
  }
};

}  // namespace ostrel::test

QTEST_MAIN(ostrel::test::WindowJournalTest)
#include "WindowJournalTest.moc"
