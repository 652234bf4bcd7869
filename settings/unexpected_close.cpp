#include "settings/unexpected_close.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/app_state.h"
#include "app/main_window.h"
#include "settings/config_file.h"
#include "util/timed_message_box.h"

namespace {

std::uint32_t ReadLE32(const QByteArray& b, int offset) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[offset])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[offset + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[offset + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[offset + 3])) << 24;
}

void PutLE32(QByteArray& b, int offset, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

}  // namespace

bool SaveRecoveredCopy(const std::string& source, const std::string& target) {
  QFile in(QString::fromStdString(source));
  if (!in.open(QIODevice::ReadOnly)) return false;
  QSaveFile out(QString::fromStdString(target));
  if (!out.open(QIODevice::WriteOnly)) return false;
  const qint64 size = in.size();
  QByteArray head = in.read(44);
  const bool interrupted = head.size() == 44 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE" &&
                           ReadLE32(head, 4) == 0 && ReadLE32(head, 40) == 0;
  if (interrupted) {
    const qint64 frames = (size - 44) / 4;
    const qint64 dataSize = std::min<qint64>(frames * 4, 0xffffffffLL - 36);
    PutLE32(head, 4, static_cast<std::uint32_t>(std::min<qint64>(size - 8, 0xffffffffLL)));
    PutLE32(head, 40, static_cast<std::uint32_t>(dataSize));
  }
  if (out.write(head) != head.size()) return false;
  while (!in.atEnd()) {
    const QByteArray chunk = in.read(1 << 20);
    if (chunk.isEmpty() && in.error() != QFileDevice::NoError) return false;
    if (out.write(chunk) != chunk.size()) return false;
  }
  return out.commit();
}

void CheckUnexpectedClose() {
  if (ReadSetting(kConfigSection, kKeyCloseCheck) != kCloseCheckRunning) return;
  const std::int32_t answer = TimedMessageBox("软件检测到曾经意外关闭，是否存储上次录音？！", MB_OKCANCEL, std::nullopt,
                                              std::nullopt, 0);
  if (answer != kBoxOk) return;
  MainWindow* window = State().mainWindow;
  if (!window) return;
  CommonDialog& cmd = window->cmd;
  cmd.SetUpForWav();
  if (!cmd.ShowSave()) return;
  const std::string name = cmd.fileName.toStdString();
  if (name.empty()) return;
  const std::string temp = ProgramFolder() + "/temp.wav";
  if (!QFileInfo::exists(QString::fromStdString(temp))) return;
  SaveRecoveredCopy(temp, name);
}
