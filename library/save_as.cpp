#include "library/save_as.h"

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/plain_message_box.h"
#include "recording/recording_session.h"

void SaveRecordingAs() {
  MainWindow* window = State().mainWindow;
  if (!window) return;
  CommonDialog& cmd = window->cmd;
  cmd.SetUpForWav();
  if (!cmd.ShowSave()) return;
  const std::string path = cmd.fileName.toStdString();
  if (path.empty()) return;
  // During a recording this writes a consistent snapshot: the header with
  // sizes 0 and the samples captured up to some moment.
  if (!WriteRecordingFile(path)) ShowPlainMessage("文件保存失败：" + path);
}
