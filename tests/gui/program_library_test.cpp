// The recordings list and its actions, through the whole program.
#include <sys/stat.h>

#include <cstdlib>

#include "program_fixture.h"
#include "library/list_actions.h"

using namespace program_test;

namespace {

// A header-only WAV file.
QByteArray EmptyWav() {
  QByteArray b("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data\0\0\0\0", 44);
  return b;
}

// Makes a file impossible to delete, also for root: the immutable attribute.
// Returns false where the file system does not offer it.
bool MakeUndeletable(const std::filesystem::path& p) {
  if (std::system(("chattr +i '" + p.string() + "' 2>/dev/null").c_str()) != 0) return false;
  std::error_code ec;
  if (std::filesystem::remove(p, ec)) return false;  // it could still be deleted
  return true;
}
void MakeDeletable(const std::filesystem::path& p) {
  [[maybe_unused]] const int rc = std::system(("chattr -i '" + p.string() + "' 2>/dev/null").c_str());
}

class ListActions : public ProgramFixture {
 protected:
  std::filesystem::path storage;
  std::vector<std::string> opened, shown;

  // Three recordings in the storage folder, listed at start-up.
  void LaunchWithRecordings() {
    storage = folder.fs() / "录音存储";
    std::filesystem::create_directory(storage);
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) test::WriteAll(storage / name, EmptyWav());
    Launch();
    TestShellHooks().open = [this](const std::string& p) { opened.push_back(p); return true; };
    TestShellHooks().showItem = [this](const std::string& p) { shown.push_back(p); return true; };
  }
  QTreeWidget& List() { return w().RecordingsList(); }
  void Select(int row) {
    List().clearSelection();
    List().setCurrentItem(nullptr);
    if (row >= 0) List().setCurrentItem(List().topLevelItem(row));
  }
  std::vector<std::string> Numbers() {
    std::vector<std::string> out;
    for (int i = 0; i < RowCount(List()); ++i) out.push_back(CellText(List(), i, kColumnNumber));
    return out;
  }
};

}  // namespace

TEST_F(ListActions, ActOnTheSelectedRow) {
  enum Action { kPlay, kLocate, kDelete };
  enum File { kExists, kMissing, kUndeletable };
  const struct {
    const char* name;
    Action action;
    bool selected;
    File file;
    const char* answer;     // for the deletion question
    bool opens, shows, asks;
    bool rowStays, fileStays;
    const char* message;    // a plain box after the action, or ""
  } table[] = {
      {"play", kPlay, true, kExists, "", true, false, false, true, true, ""},
      {"play a missing file", kPlay, true, kMissing, "", true, false, false, true, false, ""},
      {"play, nothing selected", kPlay, false, kExists, "", false, false, false, true, true, ""},
      {"locate", kLocate, true, kExists, "", false, true, false, true, true, ""},
      {"locate a missing file", kLocate, true, kMissing, "", false, false, false, true, false, ""},
      {"locate, nothing selected", kLocate, false, kExists, "", false, false, false, true, true, ""},
      {"delete", kDelete, true, kExists, "ok", false, false, true, false, false, ""},
      {"delete, cancelled", kDelete, true, kExists, "cancel", false, false, true, true, true, ""},
      {"delete, box closed", kDelete, true, kExists, "close", false, false, true, true, true, ""},
      {"delete a missing file", kDelete, true, kMissing, "ok", false, false, true, false, false, ""},
      {"delete, nothing selected", kDelete, false, kExists, "ok", false, false, false, true, true, ""},
      {"delete an undeletable file", kDelete, true, kUndeletable, "ok", false, false, true, true, true,
       "删除失败，文件可能正被其他程序使用！"},
  };
  LaunchWithRecordings();
  ASSERT_EQ(RowCount(List()), 3);
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    RefreshRecordingsList();
    ASSERT_EQ(RowCount(List()), 3);
    const int target = 1;
    const std::string path = CellText(List(), target, kColumnPath);
    const std::string created = CellText(List(), target, kColumnCreated);
    ASSERT_TRUE(std::filesystem::exists(path));
    if (row.file == kMissing) std::filesystem::remove(path);
    if (row.file == kUndeletable && !MakeUndeletable(path)) {
      std::cout << "[ SKIPPED  ] " << row.name << ": the file system offers no immutable attribute (chattr +i), "
                << "and root deletes files in read-only folders\n";
      continue;
    }
    opened.clear();
    shown.clear();
    Select(row.selected ? target : -1);
    std::vector<test::MessageBoxAnswerer::Seen> seen;
    {
      test::MessageBoxAnswerer answerer({row.answer});
      (row.action == kPlay ? w().menuPlayFile : row.action == kLocate ? w().menuLocateFile : w().menuDeleteRecording)
          ->trigger();
      seen = answerer.seen();
    }
    if (row.file == kUndeletable) MakeDeletable(path);
    EXPECT_EQ(opened, row.opens ? std::vector<std::string>{path} : std::vector<std::string>{});
    EXPECT_EQ(shown, row.shows ? std::vector<std::string>{path} : std::vector<std::string>{});
    std::size_t next = 0;
    if (row.asks) {
      ASSERT_GE(seen.size(), 1u);
      EXPECT_EQ(seen[0].title, "友情提醒");
      EXPECT_EQ(seen[0].text.toStdString(), "您确认删除该段录音吗?[" + created + "]删除后将无法恢复！");
      next = 1;
    }
    if (*row.message) {
      ASSERT_EQ(seen.size(), next + 1);
      EXPECT_EQ(seen[next].title, "信息：");
      EXPECT_EQ(seen[next].text, row.message);
    } else {
      EXPECT_EQ(seen.size(), next);
    }
    EXPECT_EQ(RowCount(List()), row.rowStays ? 3 : 2);
    EXPECT_EQ(std::filesystem::exists(path), row.fileStays);
    if (!std::filesystem::exists(path)) test::WriteAll(path, EmptyWav());
  }
}

TEST_F(ListActions, DoubleClickPlaysTheSelectedRowOnly) {
  LaunchWithRecordings();
  w().高级选择夹1->setCurrentIndex(1);
  QWidget* viewport = List().viewport();
  Select(-1);
  QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  EXPECT_TRUE(opened.empty());
  Select(2);
  QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, List().visualItemRect(List().topLevelItem(2)).center());
  EXPECT_EQ(opened, std::vector<std::string>{CellText(List(), 2, kColumnPath)});
}

TEST_F(ListActions, NumbersAndCaptionAfterADeleteAndARefresh) {
  LaunchWithRecordings();
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(3)");
  Select(1);
  {
    test::MessageBoxAnswerer answerer({"ok"});
    w().menuDeleteRecording->trigger();
  }
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"0", "2"}));
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(3)") << "a deletion leaves the caption";
  w().menuRefreshList->trigger();
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(2)");
  EXPECT_EQ(CellText(List(), 0, kColumnLength), "00:00");
  EXPECT_EQ(CellText(List(), 0, kColumnSize), "0 MB");

  // A recording appended after the deletion counts every row.
  PressRecord();
  PushTone(mic, kMicPeriod);
  PressRecord();
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(3)");
}
