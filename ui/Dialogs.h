#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace ostrel {

// The answer to the question asked before unsaved readings would be dropped.
enum class UnsavedReadingsAnswer { Save, Discard, Cancel };

// Everything modal the main window asks the user, and the desktop's opening of a document.
// The window calls only this interface, so tests can answer in place of a user. Every call
// is made on the main thread and returns when the user has answered.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // SaveDialog2: file name chosen for saving, nullopt when cancelled.
  virtual std::optional<QString> chooseSaveFile(QWidget* parent) = 0;
  // OpenDialog1: file name chosen for loading, nullopt when cancelled.
  virtual std::optional<QString> chooseOpenFile(QWidget* parent) = 0;
  // A plain message box with an OK button.
  virtual void showMessage(QWidget* parent, const QString& text) = 0;
  // A message box with an error icon, the given caption and an OK button.
  virtual void showError(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A confirmation with the buttons Yes and No; true only for Yes.
  virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
  // A question with the buttons Save, Discard and Cancel (Escape and closing the box
  // cancel).
  virtual UnsavedReadingsAnswer askSaveReadings(QWidget* parent, const QString& text) = 0;
  // Hands a local file to the desktop's handler for its type; false when that failed.
  virtual bool openDocument(const QString& path) = 0;
  // Shows a local HTML page in a help window of the program, for a desktop without a
  // browser; returns at once (the window is not modal). False when it cannot be shown.
  virtual bool showHelpWindow(QWidget* /*parent*/, const QString& /*page*/) { return false; }
  // Opens the user's manual at a local HTML page: in the desktop's browser, or in the help
  // window where the desktop has no browser. False when it is known at once that neither
  // can show it; an implementation may decide later, without blocking the caller.
  virtual bool openManual(QWidget* parent, const QString& page) {
    return openDocument(page) || showHelpWindow(parent, page);
  }
};

}  // namespace ostrel
