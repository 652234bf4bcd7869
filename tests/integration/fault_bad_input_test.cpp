// Bad input at start-up: broken configuration files and storage folders full
// of things that are not recordings. The program must start, list what it
// should, and write nothing where it should not. In-process on the virtual
// devices, except the FIFO, which needs the real executable to see a hang.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "gui/program_fixture.h"

namespace {

namespace fs = std::filesystem;
using program_test::ProgramFixture;

// A 16-bit stereo 22050 Hz WAV file of `frames` frames of a quiet ramp.
QByteArray Wav(std::uint32_t frames) {
  QByteArray b;
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  auto u16 = [&](std::uint16_t v) {
    b.append(static_cast<char>(v & 0xff));
    b.append(static_cast<char>(v >> 8));
  };
  b.append("RIFF");
  u32(36 + frames * 4);
  b.append("WAVEfmt ");
  u32(16);
  u16(1);
  u16(2);
  u32(22050);
  u32(22050 * 4);
  u16(4);
  u16(16);
  b.append("data");
  u32(frames * 4);
  for (std::uint32_t i = 0; i < frames * 2; ++i) u16(static_cast<std::uint16_t>(i % 256));
  return b;
}

QByteArray RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  QByteArray b(static_cast<qsizetype>(n), '\0');
  for (auto& c : b) c = static_cast<char>(rng() & 0xff);
  return b;
}

// Every entry of a folder with its bytes (directories as "<dir>").
std::map<std::string, QByteArray> Snapshot(const fs::path& dir) {
  std::map<std::string, QByteArray> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec))
    out[e.path().string()] = e.is_directory() ? QByteArray("<dir>") : test::ReadAll(e.path());
  return out;
}

class FaultBadInput : public ProgramFixture {
 protected:
  fs::path Config() const { return folder.fs() / "录音配置.ini"; }
  std::vector<std::pair<std::string, std::string>> Rows() {
    std::vector<std::pair<std::string, std::string>> rows;  // (file name, length text)
    QTreeWidget& list = w().RecordingsList();
    for (int i = 0; i < RowCount(list); ++i)
      rows.emplace_back(fs::path(CellText(list, i, kColumnPath)).filename().string(), CellText(list, i, kColumnLength));
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  std::string ListCaption() { return w().高级选择夹1->tabText(1).toStdString(); }
};

TEST_F(FaultBadInput, BrokenConfigurationFilesStillStart) {
  // Each case: what is in the configuration file's place, and which folder's
  // recordings the list must then show.
  const fs::path mine = folder.fs() / "mine";
  const fs::path other = folder.fs() / "other";
  const fs::path defaults = folder.fs() / "录音存储";
  for (const auto& d : {mine, other, defaults}) fs::create_directories(d);
  test::WriteAll(mine / "m.wav", Wav(22050));
  test::WriteAll(other / "o.wav", Wav(22050));
  test::WriteAll(defaults / "d.wav", Wav(22050));

  QByteArray big = "[软件配置]\n存储位置=" + QByteArray::fromStdString(mine.string()) + "/\n";
  for (int i = 0; big.size() < (1 << 20); ++i) big += "[filler" + QByteArray::number(i % 97) + "]\nkey" + QByteArray::number(i) + "=" + QByteArray(200, 'x') + "\n";
  big += "[软件配置]\n默认品质=2\n";
  const QByteArray duplicates = "[软件配置]\n存储位置=" + QByteArray::fromStdString(mine.string()) +
                                "/\n存储位置=" + QByteArray::fromStdString(other.string()) + "/\n[软件配置]\n存储位置=" +
                                QByteArray::fromStdString(other.string()) + "/\n";
  struct Case {
    const char* name;
    std::function<void()> make;
    std::vector<std::string> folders;  // the lists allowed
  } cases[] = {
      {"random bytes", [&] { test::WriteAll(Config(), RandomBytes(64 * 1024, 7)); }, {"d.wav"}},
      {"1 MB", [&] { test::WriteAll(Config(), big); }, {"m.wav"}},
      // Profile files give the first of duplicates; either one is a sound choice.
      {"duplicate sections and keys", [&] { test::WriteAll(Config(), duplicates); }, {"m.wav", "o.wav"}},
      {"a folder in its place", [&] { fs::create_directory(Config()); }, {"d.wav"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(Config(), ec);
    c.make();
    const bool wasFolder = fs::is_directory(Config());
    vb = std::make_shared<audio::VirtualBackend>();
    Launch();
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(std::find(c.folders.begin(), c.folders.end(), rows[0].first), c.folders.end()) << rows[0].first;
    EXPECT_EQ(rows[0].second, "00:01");
    Destroy();
    EXPECT_EQ(fs::is_directory(Config()), wasFolder);
    TearDown();
    SetUp();
  }
}

TEST_F(FaultBadInput, StorageFolderWithThingsThatAreNotRecordings) {
  const fs::path store = folder.fs() / "录音存储";
  fs::create_directories(store);
  test::WriteAll(store / "good.wav", Wav(2 * 22050));
  test::WriteAll(store / "name with spaces 录音 ünï.wav", Wav(22050));
  test::WriteAll(store / "garbage.wav", RandomBytes(10000, 3));
  test::WriteAll(store / "truncated.wav", Wav(22050).left(30));
  test::WriteAll(store / "empty.wav", {});
  test::WriteAll(store / "UPPER.WAV", Wav(22050));
  test::WriteAll(store / "not-audio.txt", "text");
  fs::create_directory(store / "x.wav");
  test::WriteAll(store / "x.wav" / "inside.wav", Wav(22050));
  const bool root = ::geteuid() == 0;
  if (!root) {
    test::WriteAll(store / "unreadable.wav", Wav(22050));
    fs::permissions(store / "unreadable.wav", fs::perms::none);
  }
  const auto before = Snapshot(folder.fs());
  Launch();
  std::vector<std::pair<std::string, std::string>> expected = {
      {"UPPER.WAV", "00:01"},   {"empty.wav", "00:0-1"}, {"garbage.wav", "00:0-1"},
      {"good.wav", "00:02"},    {"name with spaces 录音 ünï.wav", "00:01"}, {"truncated.wav", "00:0-1"}};
  if (!root) expected.emplace_back("unreadable.wav", "00:0-1");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Rows(), expected);
  EXPECT_EQ(ListCaption(), "列表(" + std::to_string(expected.size()) + ")");
  // Nothing in the storage folder was touched (the configuration file is the
  // program's own).
  auto after = Snapshot(folder.fs());
  after.erase(Config().string());
  auto was = before;
  was.erase(Config().string());
  EXPECT_EQ(after.size(), was.size());
  EXPECT_TRUE(after == was);
}

TEST_F(FaultBadInput, TenThousandRecordings) {
  const fs::path store = folder.fs() / "录音存储";
  fs::create_directories(store);
  const QByteArray header = Wav(0);
  for (int i = 0; i < 10000; ++i) test::WriteAll(store / ("r" + std::to_string(i) + ".wav"), header);
  Launch();
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 10000u);
  EXPECT_EQ(ListCaption(), "列表(10000)");
  EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](const auto& r) { return r.second == "00:00"; }));
  QTreeWidget& list = w().RecordingsList();
  EXPECT_EQ(CellText(list, 9999, kColumnNumber), "9999");
}

TEST_F(FaultBadInput, MissingStorageFolderIsNotCreated) {
  const fs::path missing = folder.fs() / "gone" / "录音";
  ASSERT_TRUE(WriteSetting(kConfigSection, kKeyStorageFolder, missing.string() + "/", Config().string()));
  Launch();
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(ListCaption(), "列表(0)");
  // A recording stopped there fails visibly and creates nothing.
  test::MessageBoxAnswerer answerer;
  PressRecord();
  PushTone(mic, 4800);
  PressRecord();
  ASSERT_TRUE(test::WaitUntil([&] { return !answerer.seen().empty(); }, 5000));
  EXPECT_EQ(answerer.seen()[0].title.toStdString(), "信息：");
  EXPECT_TRUE(answerer.seen()[0].text.startsWith(QString::fromUtf8("录音文件保存失败：")));
  EXPECT_FALSE(fs::exists(folder.fs() / "gone"));
}

TEST_F(FaultBadInput, ReadOnlyStorageFolder) {
  test::TempFolder store;
  test::WriteAll(store.fs() / "kept.wav", Wav(22050));
  if (::mount(store.path().c_str(), store.path().c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      ::mount(nullptr, store.path().c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    ::umount2(store.path().c_str(), MNT_DETACH);
    GTEST_SKIP() << "cannot make a read-only bind mount (needs root): " << std::strerror(errno);
  }
  struct Unmount {
    std::string p;
    ~Unmount() { ::umount2(p.c_str(), MNT_DETACH); }
  } unmount{store.path()};
  ASSERT_TRUE(WriteSetting(kConfigSection, kKeyStorageFolder, store.path() + "/", Config().string()));
  const auto before = Snapshot(store.fs());
  Launch();
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{"kept.wav", "00:01"}}));
  test::MessageBoxAnswerer answerer;
  PressRecord();
  PushTone(mic, 4800);
  PressRecord();
  ASSERT_TRUE(test::WaitUntil([&] { return !answerer.seen().empty(); }, 5000));
  EXPECT_TRUE(answerer.seen()[0].text.startsWith(QString::fromUtf8("录音文件保存失败：") +
                                                 QString::fromStdString(store.path() + "/")));
  EXPECT_EQ(Rows().size(), 1u);
  EXPECT_TRUE(Snapshot(store.fs()) == before);
}

// A FIFO named like a recording must not stall start-up: opening one for
// reading waits for a writer that never comes.
TEST(FaultBadInputProgram, FifoInTheStorageFolderDoesNotHangStartUp) {
  test::TempFolder folder;
  const fs::path store = folder.fs() / "录音存储";
  fs::create_directories(store);
  ASSERT_EQ(::mkfifo((store / "pipe.wav").c_str(), 0644), 0);
  test::ProgramProcess program(folder.path());
  ASSERT_TRUE(program.Start());
  // The close request is only served once start-up has finished.
  ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(folder.fs() / "录音配置.ini"); }, 10000));
  EXPECT_EQ(program.Signal(SIGTERM, 10000), 0) << "start-up did not finish; " << program.output();
}

}  // namespace
