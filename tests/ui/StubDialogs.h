#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "ui/Dialogs.h"

namespace ostrel::test {

// Dialogs that answer from a script and remember what was asked.
struct DialogLog {
  std::optional<QString> saveAnswer;
  std::optional<QString> openAnswer;
  bool yesNoAnswer = false;
  UnsavedReadingsAnswer unsavedAnswer = UnsavedReadingsAnswer::Cancel;
  bool openDocumentResult = true;
  bool helpWindowResult = true;

  int saveAsked = 0;
  int openAsked = 0;
  QStringList messages;          // plain message boxes
  QStringList errors;            // "caption|text" of error boxes
  QStringList questions;         // Yes/No questions
  QStringList unsavedQuestions;  // Save/Discard/Cancel questions
  QStringList openedDocuments;
  QStringList helpWindows;  // pages shown in the program's help window
};

class StubDialogs : public Dialogs {
 public:
  explicit StubDialogs(DialogLog& log) : m_log(log) {}

  std::optional<QString> chooseSaveFile(QWidget*) override {
    ++m_log.saveAsked;
    return m_log.saveAnswer;
  }
  std::optional<QString> chooseOpenFile(QWidget*) override {
    ++m_log.openAsked;
    return m_log.openAnswer;
  }
  void showMessage(QWidget*, const QString& text) override { m_log.messages << text; }
  void showError(QWidget*, const QString& caption, const QString& text) override {
    m_log.errors << caption + u'|' + text;
  }
  bool askYesNo(QWidget*, const QString& text) override {
    m_log.questions << text;
    return m_log.yesNoAnswer;
  }
  UnsavedReadingsAnswer askSaveReadings(QWidget*, const QString& text) override {
    m_log.unsavedQuestions << text;
    return m_log.unsavedAnswer;
  }
  bool openDocument(const QString& path) override {
    m_log.openedDocuments << path;
    return m_log.openDocumentResult;
  }
  bool showHelpWindow(QWidget*, const QString& page) override {
    m_log.helpWindows << page;
    return m_log.helpWindowResult;
  }

 private:
  DialogLog& m_log;
};

}  // namespace ostrel::test
