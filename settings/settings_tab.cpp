#include "settings/settings_tab.h"

#include <QFileDialog>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/plain_message_box.h"
#include "settings/config_file.h"

std::function<std::string()>& TestFolderBrowser() {
  static std::function<std::string()> browser;
  return browser;
}

void SaveDefaultDevice() {
  MainWindow* window = State().mainWindow;
  if (!window) return;
  WriteSetting(kConfigSection, kKeyDefaultDevice, std::to_string(window->cmbInput->currentIndex()));
}

void SaveDefaultQuality() {
  MainWindow* window = State().mainWindow;
  if (!window) return;
  WriteSetting(kConfigSection, kKeyDefaultQuality, std::to_string(window->cmbRate->currentIndex()));
}

std::string BrowseForFolder(const std::string& title) {
  if (TestFolderBrowser()) return TestFolderBrowser()();
  State().BrowseStartFolder.clear();
  const QString chosen = QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(title),
                                                           QString::fromStdString(State().BrowseStartFolder));
  return chosen.trimmed().toStdString();
}

std::string CollapseDoubledSeparators(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '/') ++i;
  }
  return out;
}

void ChooseStorageFolder() {
  MainWindow* window = State().mainWindow;
  if (!window) return;
  const std::string path = BrowseForFolder();
  if (path.empty()) return;
  window->编辑框1->setText(QString::fromStdString(path + "/"));
  window->编辑框1->setText(QString::fromStdString(CollapseDoubledSeparators(window->编辑框1->text().toStdString())));
  const std::string folder = window->编辑框1->text().toStdString();
  WriteSetting(kConfigSection, kKeyStorageFolder, folder);
  if (window->按钮1->text() == QString::fromUtf8(kRecordCaptionIdle)) {
    State().StorageFolder = folder;
    ShowPlainMessage("存储文件夹设置完毕！已生效...");
  } else {
    ShowPlainMessage("存储文件夹设置完毕！将在下次运行软件时候生效！");
  }
}
