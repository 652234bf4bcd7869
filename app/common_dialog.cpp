#include "app/common_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

std::function<std::optional<QString>(const CommonDialog&)>& CommonDialog::TestAnswer() {
  static std::function<std::optional<QString>(const CommonDialog&)> answer;
  return answer;
}

QString CommonDialog::ToolkitFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) entries << parts[i] + " (" + parts[i + 1] + ")";
  return entries.join(";;");
}

void CommonDialog::SetUpForWav() {
  title = "Save As...";
  filter = "WAV files|*.wav|All files|*.*";
  defaultExtension = "wav";
}

bool CommonDialog::ShowSave() {
  std::optional<QString> chosen;
  if (TestAnswer()) {
    chosen = TestAnswer()(*this);
  } else {
    // The toolkit's dialog asks before an existing file is replaced, and
    // only offers folders that exist.
    QFileDialog dialog(nullptr, title, fileName, ToolkitFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExtension);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) chosen = dialog.selectedFiles().first();
  }
  if (!chosen) return false;
  QString name = *chosen;
  if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty() && !defaultExtension.isEmpty())
    name += "." + defaultExtension;
  fileName = name;
  return true;
}
