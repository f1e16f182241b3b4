// End to end through the built program: a game plays a tone on SDL's disk audio driver, which
// writes what the device is given into a file, so the whole path from the script to the audio
// device is heard; and a machine without any audio device runs the game silent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "program_run.h"
#include "support/sounds.h"

namespace {

namespace fs = std::filesystem;
using game_test::Tail;

TEST(SoundProgramTest, TheToneReachesTheAudioDevice) {
  const fs::path root = game_test::NewFolder("sound");
  game_test::PrepareGame("sound", root);
  ASSERT_TRUE(test_support::WriteTone(root / "game" / "data" / "sounds" / "tone.wav", 0.4, 22050, 1));
  const fs::path raw = root / "device.raw";
  const game_test::ProgramRun run = game_test::RunProgram(
      "sound", root, true, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + raw.string(), "SDL_DISKAUDIODELAY=1"});
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  EXPECT_NE(run.errors.find("sound init: true"), std::string::npos) << Tail(run.errors);
  EXPECT_NE(run.errors.find("sound length: 400\n"), std::string::npos) << Tail(run.errors);

  // The device takes 44100 Hz stereo floats: the tone's peak, 0.5, is in there.
  const std::string bytes = game_test::ReadFile(raw);
  ASSERT_GE(bytes.size(), 44100u * 8 / 4) << "less than a quarter second reached the device";
  std::vector<float> samples(bytes.size() / sizeof(float));
  std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  float peak = 0;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  EXPECT_NEAR(peak, 0.5f, 0.02f);
}

TEST(SoundProgramTest, WithoutAnAudioDeviceTheGameGoesOnSilent) {
  const fs::path root = game_test::NewFolder("silent");
  game_test::PrepareGame("sound", root);
  ASSERT_TRUE(test_support::WriteTone(root / "game" / "data" / "sounds" / "tone.wav", 0.2, 22050, 1));
  const game_test::ProgramRun run = game_test::RunProgram("sound", root, true, {"SDL_AUDIODRIVER=no-such-driver"});
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  EXPECT_NE(run.errors.find("sound init: false"), std::string::npos) << Tail(run.errors);
  EXPECT_NE(run.logs.find("Bass_Init not bass init"), std::string::npos) << Tail(run.logs);
}

}  // namespace
