#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/app_state.h"
#include "recording/temp_recording.h"
#include "test_support.h"

namespace {

struct TempRecordingTest : ::testing::Test {
  test::TempFolder folder;
  void SetUp() override {
    SetProgramFolder(folder.path());
    Reset();
  }
  void TearDown() override { Reset(); }
  static void Reset() {
    AppState& s = State();
    s.TempRecording.Close(false);
    s.TempRecording.Forget();
    s.TempRecordingPath.clear();
    s.TempRecordingCreatedPath.clear();
  }
  std::filesystem::path TempWav() const { return folder.fs() / "temp.wav"; }
};

// Waits (bounded) until pred holds; the bound only keeps a broken build from hanging.
template <typename Pred>
bool Eventually(Pred pred) {
  for (int i = 0; i < 1000 && !pred(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return pred();
}

}  // namespace

TEST_F(TempRecordingTest, CreatesAppendsAndPatchesInPlace) {
  test::WriteAll(TempWav(), QByteArray(5000, 'x'));  // left by an earlier run
  CreateTempRecording();
  EXPECT_EQ(State().TempRecordingPath, TempWav().string());
  EXPECT_EQ(State().TempRecordingCreatedPath, TempWav().string());
  EXPECT_EQ(test::ReadAll(TempWav()).size(), 0);

  AppendTempRecording("AAAABBBB", 8);
  PatchTempRecording(2, "zz", 2);
  AppendTempRecording("CC", 2);  // still goes to the end
  CloseTempRecording();
  EXPECT_EQ(test::ReadAll(TempWav()), QByteArray("AAzzBBBBCC"));
  EXPECT_TRUE(State().TempRecording.Mark());
}

TEST_F(TempRecordingTest, SecondRecordingOfTheRunReplacesTheFirstFile) {
  CreateTempRecording();
  AppendTempRecording("first recording", 15);
  CloseTempRecording();

  CreateTempRecording();
  EXPECT_EQ(test::ReadAll(TempWav()).size(), 0);
  AppendTempRecording("second", 6);
  CloseTempRecording();
  EXPECT_EQ(test::ReadAll(TempWav()), QByteArray("second"));
}

TEST_F(TempRecordingTest, DiscardDeletesTheFileUnderItsCreatedPath) {
  CreateTempRecording();
  AppendTempRecording("header", 6);
  test::TempFolder other;
  SetProgramFolder(other.path());  // the remembered path counts, not a fresh one
  DiscardTempRecording();
  EXPECT_FALSE(std::filesystem::exists(TempWav()));
  EXPECT_FALSE(State().TempRecording.IsOpen());
  SetProgramFolder(folder.path());
}

TEST_F(TempRecordingTest, FlusherSyncsWhileOpenAndAtClose) {
  TempRecordingFile file;  // the real interval
  ASSERT_TRUE(file.Open(TempWav().string()));
  file.Append("data", 4);
  EXPECT_TRUE(Eventually([&] { return file.SyncCount() >= 1; }));
  file.Append("more", 4);
  EXPECT_TRUE(Eventually([&] { return file.SyncCount() >= 2; }));

  // With the flusher far from its next look, a closing sync still happens.
  TempRecordingFile slow;
  slow.SetFlushIntervalForTesting(3'600'000);
  ASSERT_TRUE(slow.Open((folder.fs() / "slow.wav").string()));
  slow.Append("tail", 4);
  EXPECT_EQ(slow.SyncCount(), 0u);
  slow.Close(true);
  EXPECT_EQ(slow.SyncCount(), 1u);
  EXPECT_EQ(test::ReadAll(folder.fs() / "slow.wav"), QByteArray("tail"));
}
