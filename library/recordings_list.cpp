#include "library/recordings_list.h"

#include <QDir>
#include <QTreeWidget>

#include "app/app_state.h"
#include "app/main_window.h"
#include "library/list_texts.h"
#include "playback/audio_player.h"

namespace {

QTreeWidget& List() { return State().mainWindow->RecordingsList(); }

const Qt::Alignment kColumnAlignment[5] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignHCenter,
                                           Qt::AlignLeft};

}  // namespace

int RowCount(const QTreeWidget& list) { return list.topLevelItemCount(); }

int AppendEmptyRow(QTreeWidget& list) {
  auto* item = new QTreeWidgetItem;
  for (int c = 0; c < 5; ++c) item->setTextAlignment(c, kColumnAlignment[c] | Qt::AlignVCenter);
  list.addTopLevelItem(item);
  return list.topLevelItemCount() - 1;
}

void SetCellText(QTreeWidget& list, int row, int column, const std::string& text) {
  if (QTreeWidgetItem* item = list.topLevelItem(row)) item->setText(column, QString::fromStdString(text));
}

std::string CellText(const QTreeWidget& list, int row, int column) {
  if (row < 0) return {};
  const QTreeWidgetItem* item = list.topLevelItem(row);
  return item ? item->text(column).toStdString() : std::string();
}

int SelectedRow(const QTreeWidget& list) {
  const QList<QTreeWidgetItem*> selected = list.selectedItems();
  return selected.isEmpty() ? -1 : list.indexOfTopLevelItem(selected.first());
}

void DeleteRow(QTreeWidget& list, int row) {
  if (row >= 0 && row < list.topLevelItemCount()) delete list.takeTopLevelItem(row);
}

void ShowRowCountInCaption() {
  MainWindow& window = *State().mainWindow;
  window.高级选择夹1->setTabText(1, QString::fromUtf8("列表(%1)").arg(RowCount(window.RecordingsList())));
}

void FillRecordingsList() {
  QTreeWidget& list = List();
  const std::string& folder = State().StorageFolder;
  if (!folder.empty()) {
    QDir dir(QString::fromStdString(folder));
    dir.setNameFilters({"*.wav"});
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Unsorted);
    // "*.wav" matches without regard to letter case, as users of the
    // original platform expect of file patterns.
    const QStringList names = dir.entryList();
    for (const QString& name : names) {
      const std::string path = folder + name.toStdString();
      const int row = AppendEmptyRow(list);
      SetCellText(list, row, kColumnCreated, CreationTimeText(path).value_or(""));
      SetCellText(list, row, kColumnSize, SizeText(FileSizeKB(path)));
      SetCellText(list, row, kColumnPath, path);
    }
  }
  ShowRowCountInCaption();
}

void MeasureRecordingsList() {
  QTreeWidget& list = List();
  AudioPlayer& player = *State().audioPlayer;
  const int n = RowCount(list);
  for (int i = 0; i < n; ++i) {
    const std::string path = CellText(list, i, kColumnPath);
    const HSTREAM h = player.OpenStream(path);
    SetCellText(list, i, kColumnNumber, std::to_string(i));
    SetCellText(list, i, kColumnLength, player.LengthText(h));
    BASS_ChannelStop(h);
    player.FreeStream(h);
  }
}

void RefreshRecordingsList() {
  List().clear();
  FillRecordingsList();
  MeasureRecordingsList();
}

void AppendRecordingRow(const std::string& path, const std::string& durationText) {
  QTreeWidget& list = List();
  const int row = AppendEmptyRow(list);
  SetCellText(list, row, kColumnNumber, std::to_string(row));
  SetCellText(list, row, kColumnCreated, CreationTimeText(path).value_or(""));
  SetCellText(list, row, kColumnLength, durationText);
  SetCellText(list, row, kColumnSize, SizeText(FileSizeKB(path)));
  SetCellText(list, row, kColumnPath, path);
  ShowRowCountInCaption();
}
