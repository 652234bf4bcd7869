#pragma once
// The recordings list: one row per WAV file of the storage folder, with its
// number, creation time, length, size and full path. The list control is the
// only record of the recordings. Window thread.
#include <string>

class QTreeWidget;

// Appends one row per "*.wav" file (any letter case; folders skipped) of
// StorageFolder in the file system's order, with creation time, size and
// path; then the list tab's caption shows the row count.
void FillRecordingsList();
// Numbers every row and writes each file's length.
void MeasureRecordingsList();
// Empties the list, then fills and measures it again.
void RefreshRecordingsList();

// Row operations of the list control (rows from 0; a missing row reads "").
int RowCount(const QTreeWidget& list);
int AppendEmptyRow(QTreeWidget& list);
void SetCellText(QTreeWidget& list, int row, int column, const std::string& text);
std::string CellText(const QTreeWidget& list, int row, int column);
int SelectedRow(const QTreeWidget& list);
void DeleteRow(QTreeWidget& list, int row);

// The list tab's caption: "列表(" + rows + ")".
void ShowRowCountInCaption();

// The row a finished recording adds: its number, creation time, the timer's
// text as its length, its size and path.
void AppendRecordingRow(const std::string& path, const std::string& durationText);

// Column indexes.
enum RecordingsColumn { kColumnNumber = 0, kColumnCreated = 1, kColumnLength = 2, kColumnSize = 3, kColumnPath = 4 };
