// The sound operations through the script host, heard through the sound stand-in's pull seam:
// no audio device, the mixed frames pulled on demand. The sound files are made here.
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "game_frame_fixture.h"
#include "platform/bass/bass.h"
#include "support/scratch.h"
#include "support/sounds.h"

namespace game_frame_test {
namespace {

namespace fs = std::filesystem;
namespace bass = platform::bass;

void WriteTone(const fs::path& path, double seconds, int rate, int channels) {
  ASSERT_TRUE(test_support::WriteTone(path, seconds, rate, channels));
}

float Peak(const std::vector<float>& samples) {
  float peak = 0;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  return peak;
}

class SoundTest : public GameFrameTest {
protected:
  void SetUp() override {
    GameFrameTest::SetUp();
    bass::BASS_Free();
    bass::testing::UseManualOutput(true);
    StartScript("");
    Run("assert(InitSound())");
    WriteTone(dir_ / "data" / "sounds" / "tone.wav", 1.0, 44100, 1);
    Run("tone = LoadSound('tone.wav')");
  }
  void TearDown() override {
    bass::BASS_Free();
    bass::testing::UseManualOutput(false);
    GameFrameTest::TearDown();
  }
  std::vector<float> Pull(std::size_t frames = 2048) { return bass::testing::PullFrames(frames); }
};

TEST_F(SoundTest, InitSoundSaysSoInTheLog) {
  EXPECT_EQ(Eval("InitSound()"), "true");  // a second call while ready
  EXPECT_NE(LogText().find("Bass_Init"), std::string::npos);
}

TEST_F(SoundTest, LoadSoundFindsTheFileAndGivesItsLength) {
  WriteTone(dir_ / "data" / "sounds" / "both.wav", 1.5, 22050, 1);
  WriteTone(dir_ / "both.wav", 0.25, 48000, 2);  // the current folder comes first
  WriteTone(dir_ / "data" / "sounds" / "stereo.wav", 1.5, 48000, 2);
  // Lengths of exact halves of a millisecond, from the file's own frames and rate: 72 frames at
  // 48 kHz, 28 and 20 frames at 8 kHz.
  WriteTone(dir_ / "data" / "sounds" / "half48k.wav", 0.0015, 48000, 1);
  WriteTone(dir_ / "data" / "sounds" / "half8k.wav", 0.0035, 8000, 1);
  WriteTone(dir_ / "data" / "sounds" / "even8k.wav", 0.0025, 8000, 1);
  test_support::WriteFile(dir_ / "data" / "sounds" / "text.ogg", "not a sound at all\n");
  test_support::WriteFile(dir_ / "data" / "sounds" / "empty.wav", "");
  const std::pair<const char*, const char*> cases[] = {
      {"both.wav", "250"},       {"data/sounds/both.wav", "1500"}, {"stereo.wav", "1500"},
      {"nowhere.wav", "0,0"},    {"text.ogg", "0,0"},              {"empty.wav", "0,0"},
      {"", "0,0"},               {"data", "0,0"},  // a folder
      {"half48k.wav", "2"},      {"half8k.wav", "4"},              {"even8k.wav", "2"},
  };
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE(name);
    Run(std::string("h, ms = LoadSound('") + name + "')");
    if (std::string(expected) == "0,0") {
      EXPECT_EQ(Eval("all(h, ms)"), "0,0");
    } else {
      EXPECT_NE(Eval("h"), "0");
      EXPECT_EQ(Eval("ms"), expected);
    }
  }
  // The two files that are there but hold no sound are named in the log.
  const std::string log = LogText();
  EXPECT_NE(log.find("TMainForm.LoadSound data\\\\sounds\\text.ogg cannot be read"), std::string::npos) << log;
  EXPECT_NE(log.find("empty.wav cannot be read"), std::string::npos);
}

TEST_F(SoundTest, PlaySoundRestartsAtTheNewVolumeAndStopRewinds) {
  Run("PlaySound(tone, 100)");
  const std::vector<float> first = Pull();
  EXPECT_NEAR(Peak(first), 0.5f, 0.01f);
  Pull(4000);
  Run("PlaySound(tone, 50)");  // while playing: from the start, at half the level
  const std::vector<float> again = Pull();
  ASSERT_EQ(again.size(), first.size());
  for (std::size_t i = 0; i < first.size(); i += 97) EXPECT_NEAR(again[i], first[i] * 0.5f, 1e-4f) << i;

  Run("StopSound(tone)");
  EXPECT_EQ(Peak(Pull()), 0.0f);
  Run("PlaySound(tone, 100)");  // after a stop: from the start again
  const std::vector<float> restarted = Pull();
  for (std::size_t i = 0; i < first.size(); i += 97) EXPECT_NEAR(restarted[i], first[i], 1e-4f) << i;

  Run("SetVolumeSound(tone, 25)");  // goes on where it was, quieter
  const std::vector<float> quieter = Pull();
  EXPECT_NEAR(Peak(quieter), 0.125f, 0.01f);
  Run("SetVolumeSound(tone, 1000)");  // clamped to full
  EXPECT_NEAR(Peak(Pull()), 0.5f, 0.01f);
}

TEST_F(SoundTest, ThePauseOfTheGameSilencesAllOutput) {
  Run("PlaySound(tone, 100)");
  form_.Pause();
  EXPECT_EQ(Peak(Pull()), 0.0f);
  form_.RePause();
  EXPECT_GT(Peak(Pull()), 0.4f);
}

TEST_F(SoundTest, FreeSoundsReleasesEveryListedHandle) {
  Run("a = LoadSound('tone.wav'); b = LoadSound('tone.wav'); c = LoadSound('tone.wav')");
  const auto exists = [&](const char* name) {
    return bass::BASS_ChannelGetLength(static_cast<bass::DWORD>(std::stoul(Eval(name))), bass::BASS_POS_BYTE) !=
           static_cast<bass::QWORD>(-1);
  };
  Run("FreeSounds('')");
  EXPECT_TRUE(exists("a") && exists("b") && exists("c"));
  Run("FreeSounds(a .. ';x;;' .. b)");  // no final ";"; items that are no number are skipped
  EXPECT_FALSE(exists("a"));
  EXPECT_FALSE(exists("b"));
  EXPECT_TRUE(exists("c"));
  Run("PlaySound(a, 100)");  // a freed handle is never followed
  EXPECT_EQ(Peak(Pull()), 0.0f);
  Run("FreeSounds(c .. ';' .. tone .. ';')");
  EXPECT_FALSE(exists("c"));
  // Handles that are no handle: nothing happens.
  Run("PlaySound(0/0, 100); PlaySound(1/0, 100); StopSound(-1); SetVolumeSound(2^40, 50); FreeSounds('4294967295;')");
}

}  // namespace
}  // namespace game_frame_test
