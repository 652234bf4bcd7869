#pragma once
// The form's common file dialog `cmd`: a save dialog whose chosen file name
// stays from one use to the next. Window thread.
#include <QString>
#include <functional>
#include <optional>

class CommonDialog {
 public:
  QString title;
  QString filter;            // "WAV files|*.wav|All files|*.*"
  QString defaultExtension;  // added to a name typed without one
  QString fileName;          // the full path chosen last; empty at start

  // Shows the save dialog. Returns false when cancelled; otherwise fileName
  // holds the chosen path (with the default extension added when needed).
  bool ShowSave();

  // Sets up the properties shared by the recovery question and Save As.
  void SetUpForWav();

  // Tests replace the dialog with a scripted answer (nullopt = cancel).
  static std::function<std::optional<QString>(const CommonDialog&)>& TestAnswer();

  // "WAV files|*.wav|All files|*.*" in the toolkit's filter form.
  static QString ToolkitFilter(const QString& filter);
};
