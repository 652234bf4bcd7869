#include "library/list_actions.h"

#include <QCursor>
#include <QFileInfo>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/plain_message_box.h"
#include "library/recordings_list.h"
#include "util/shell.h"
#include "util/timed_message_box.h"

namespace {
QTreeWidget& List() { return State().mainWindow->RecordingsList(); }

std::string SelectedPath() { return CellText(List(), SelectedRow(List()), kColumnPath); }
}  // namespace

void ShowListMenu() {
  MainWindow* window = State().mainWindow;
  if (!window) return;
  window->右键管理->exec(QCursor::pos());
}

void PlayFile() {
  const std::string path = SelectedPath();
  if (path.empty()) return;
  ShellOpen(path);
}

bool ShowInFolder(const std::string& path) {
  if (!QFileInfo::exists(QString::fromStdString(path))) return false;
  return ShellShowItem(path);
}

void LocateFile() {
  const std::string path = SelectedPath();
  if (path.empty()) return;
  ShowInFolder(path);
}

void DeleteRecording() {
  // With nothing selected there is nothing to delete: ask nothing.
  if (SelectedRow(List()) < 0) return;
  const std::string created = CellText(List(), SelectedRow(List()), kColumnCreated);
  const std::string question = "您确认删除该段录音吗?[" + created + "]删除后将无法恢复！";
  if (TimedMessageBox(question, MB_OKCANCEL, std::nullopt, std::nullopt, 0) != kBoxOk) return;
  // The box's own loop may have let other handlers change the list.
  const int row = SelectedRow(List());
  const std::string path = CellText(List(), row, kColumnPath);
  if (row < 0) return;
  const QString file = QString::fromStdString(path);
  QFile::remove(file);
  if (QFileInfo::exists(file) || QFileInfo(file).isSymLink()) {
    ShowPlainMessage("删除失败，文件可能正被其他程序使用！");
    return;
  }
  DeleteRow(List(), row);
}
