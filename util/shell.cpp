#include "util/shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

ShellHooks& TestShellHooks() {
  static ShellHooks hooks;
  return hooks;
}

namespace {
QUrl ToUrl(const std::string& pathOrUrl) {
  const QString text = QString::fromStdString(pathOrUrl);
  const QUrl url(text);
  if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1) return url;
  return QUrl::fromLocalFile(text);
}
}  // namespace

bool ShellOpen(const std::string& pathOrUrl) {
  if (TestShellHooks().open) return TestShellHooks().open(pathOrUrl);
  return QDesktopServices::openUrl(ToUrl(pathOrUrl));
}

bool ShellShowItem(const std::string& path) {
  if (TestShellHooks().showItem) return TestShellHooks().showItem(path);
  const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", "ShowItems");
  call << QStringList{url.toString()} << QString();
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
  if (reply.type() == QDBusMessage::ReplyMessage) return true;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absolutePath()));
}
