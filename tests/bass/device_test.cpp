// The real output (SDL's dummy and disk drivers), work from two threads at once, and the
// memory a long stream keeps while it plays.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "bass/sound_files.h"
#include "platform/bass/bass.h"
#include "support/scratch.h"

namespace bass = platform::bass;
using bass::testing::PullFrames;

namespace bass_test {
namespace {

constexpr const char* kDiskChildVariable = "QUORREL_BASS_DISK_CHILD";

bass::BOOL InitDefault() { return bass::BASS_Init(-1, 44100, 0, nullptr, nullptr); }

class BassDevice : public ::testing::Test {
protected:
  void SetUp() override {
    // Headless unless the caller chose a driver.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    bass::BASS_Free();
    bass::testing::UseManualOutput(false);
  }
  void TearDown() override {
    bass::BASS_Free();
    EXPECT_EQ(bass::testing::LiveStreams(), 0);
  }
};

TEST_F(BassDevice, InitOpensTheOutputOnceAndFreeClosesIt) {
  ASSERT_NE(InitDefault(), 0) << bass::ErrorText();
  EXPECT_NE(InitDefault(), 0) << "a second call while ready";
  EXPECT_GT(bass::testing::MixBufferFrames(), 0u);
  EXPECT_NE(bass::BASS_Pause(), 0);
  EXPECT_NE(bass::BASS_Start(), 0);
  EXPECT_NE(bass::BASS_Free(), 0);
  EXPECT_EQ(bass::BASS_Free(), 0);
  EXPECT_EQ(bass::BASS_Init(5, 44100, 0, nullptr, nullptr), 0) << "no such output";
  EXPECT_EQ(bass::BASS_ErrorGetCode(), bass::BASS_ERROR_DEVICE);
  ASSERT_NE(InitDefault(), 0) << "again after BASS_Free";
}

TEST_F(BassDevice, WithoutAnAudioDeviceInitAnswersZero) {
  const char* old = std::getenv("SDL_AUDIODRIVER");
  const std::string saved = old != nullptr ? old : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(InitDefault(), 0);
  EXPECT_EQ(bass::BASS_ErrorGetCode(), bass::BASS_ERROR_DEVICE);
  EXPECT_FALSE(bass::ErrorText().empty());
  if (old != nullptr) {
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  } else {
    unsetenv("SDL_AUDIODRIVER");
  }
}

// The real device path, in a child process of this program that plays into SDL's disk driver.
TEST_F(BassDevice, TheDiskDriverReceivesThePlayedTone) {
  const auto raw = ScratchFile("out.raw");
  std::filesystem::create_directories(raw.parent_path());
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv(kDiskChildVariable, raw.c_str(), 1);
    execl("/proc/self/exe", "bass_tests", "--gtest_filter=BassDiskChild.PlaysAToneIntoTheDevice",
          nullptr);
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string bytes = test_support::ReadFile(raw);
  std::size_t loud = 0;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    float x;
    std::memcpy(&x, bytes.data() + i, 4);
    if (std::fabs(x) > 0.1f) ++loud;
  }
  EXPECT_GT(loud, 4000u) << bytes.size() << " bytes written";
}

TEST(BassDiskChild, PlaysAToneIntoTheDevice) {
  const char* raw = std::getenv(kDiskChildVariable);
  if (raw == nullptr)
    GTEST_SKIP() << "runs in the child of BassDevice.TheDiskDriverReceivesThePlayedTone";
  const auto tone = std::filesystem::path(raw).parent_path() / "tone.wav";
  ASSERT_TRUE(WriteSound(tone, Wav16(), 44100, 2, Tone(2.0, 44100, 2, 0.5)));
  ASSERT_NE(InitDefault(), 0) << bass::ErrorText();
  const unsigned h = bass::BASS_StreamCreateFile(0, tone.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_NE(bass::BASS_ChannelPlay(h, 1), 0);
  // The driver writes at the pace of a real device: wait for a quarter of a second of output.
  for (int i = 0; i < 500 && !(std::filesystem::exists(raw) &&
                               std::filesystem::file_size(raw) > 44100 * 8 / 4);
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(bass::BASS_Free(), 0);
}

// The main thread plays, stops, frees and makes sounds while another thread mixes.
void Hammer(std::size_t operations, const std::function<bool()>& goOn) {
  const auto shortPath = ScratchFile("hammer.wav");
  const auto longPath = ScratchFile("hammer.flac");
  ASSERT_TRUE(WriteSound(shortPath, Wav16(), 22050, 1, Tone(0.3, 22050, 1, 0.3)));
  ASSERT_TRUE(WriteSound(longPath, Flac16(), 8000, 1, Tone(6.0, 8000, 1, 0.3)));
  auto make = [&](std::size_t i) {
    return bass::BASS_StreamCreateFile(0, (i < 2 ? longPath : shortPath).c_str(), 0, 0, 0);
  };
  std::vector<unsigned> handles;
  for (std::size_t i = 0; i < 8; ++i) handles.push_back(make(i));
  std::mt19937 random(3);
  for (std::size_t n = 0; n < operations && goOn(); ++n) {
    const std::size_t i = random() % handles.size();
    const unsigned h = handles[i];
    switch (random() % 7) {
      case 0: bass::BASS_ChannelPlay(h, 1); break;
      case 1: bass::BASS_ChannelPlay(h, 0); break;
      case 2: bass::BASS_ChannelStop(h); break;
      case 3:
        bass::BASS_ChannelSetAttribute(h, bass::BASS_ATTRIB_VOL, (random() % 100) / 100.0f);
        break;
      case 4: bass::BASS_ChannelSetPosition(h, (random() % 50000) * 8, bass::BASS_POS_BYTE); break;
      case 5:
        bass::BASS_Pause();
        bass::BASS_Start();
        break;
      default:
        if (i >= 2 || random() % 20 == 0) {  // long streams decode ahead when made: fewer of them
          bass::BASS_StreamFree(h);
          handles[i] = make(i);
          ASSERT_NE(handles[i], 0u);
          bass::BASS_ChannelPlay(handles[i], 1);
        }
    }
    if (n % 1000 == 0) bass::TakeMessages();
  }
  for (unsigned h : handles) EXPECT_NE(bass::BASS_StreamFree(h), 0);
}

TEST_F(BassDevice, CallsWhileAnotherThreadPullsFramesAreSafe) {
  bass::testing::UseManualOutput(true);
  ASSERT_NE(InitDefault(), 0);
  std::atomic<bool> done{false};
  std::atomic<std::size_t> pulls{0};
  std::thread mixer([&] {
    while (!done) {
      PullFrames(300);
      ++pulls;
    }
  });
  Hammer(20000, [] { return true; });
  done = true;
  mixer.join();
  EXPECT_GT(pulls.load(), 0u);
  PullFrames(10);
  EXPECT_EQ(bass::testing::LiveStreams(), 0);
}

TEST_F(BassDevice, CallsWhileTheDummyDeviceMixesAreSafe) {
  ASSERT_NE(InitDefault(), 0) << bass::ErrorText();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
  Hammer(1'000'000, [&] {
    std::this_thread::yield();
    return std::chrono::steady_clock::now() < end;
  });
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

TEST_F(BassDevice, ALongFileIsStreamedInLittleMemory) {
  bass::testing::UseManualOutput(true);
  ASSERT_NE(InitDefault(), 0);
  const auto path = ScratchFile("ten-minutes.flac");
  {
    // Written in pieces: ten minutes of a low-rate mono tone.
    const std::vector<float> second = Tone(1.0, 8000, 1, 0.5);
    std::vector<float> all;
    all.reserve(600 * second.size());
    for (int i = 0; i < 600; ++i) all.insert(all.end(), second.begin(), second.end());
    ASSERT_TRUE(WriteSound(path, Flac16(), 8000, 1, all));
  }
  const long before = ResidentKiB();
  const unsigned h = bass::BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u) << bass::ErrorText();
  EXPECT_EQ(bass::BASS_ChannelGetLength(h, bass::BASS_POS_BYTE), 600ull * 8000 * 8);  // at its own rate
  bass::BASS_ChannelPlay(h, 1);
  float peak = 0.0f;
  for (int second = 0; second < 90; ++second) peak = std::max(peak, Peak(PullFrames(44100)));
  EXPECT_NEAR(peak, 0.5f, 0.05f);
  const long growth = ResidentKiB() - before;
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer keeps freed blocks resident (its quarantine): the figure says nothing here.
  (void)growth;
#else
  EXPECT_LT(growth, 8 * 1024) << "KiB more resident after a minute and a half of a ten-minute file";
#endif
  bass::BASS_StreamFree(h);
}

}  // namespace
}  // namespace bass_test
