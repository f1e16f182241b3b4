// Playback through the pull seam, measured in samples: each behaviour for a short stream
// (decoded whole) and a long one (decoded ahead in chunks by the decoder).
#include <cmath>
#include <limits>

#include "bass/sound_files.h"
#include "platform/bass/bass.h"

namespace bass = platform::bass;
using bass::testing::PullFrames;

namespace bass_test {
namespace {

constexpr std::size_t kRate = 44100;

struct Sound {
  std::filesystem::path path;
  std::vector<float> reference;  // what the file holds: 44100 Hz stereo plays it unchanged
  std::size_t frames() const { return reference.size() / 2; }
};

Sound MakeRamp(const std::string& name, int format, std::size_t frames) {
  Sound s{ScratchFile(name), {}};
  EXPECT_TRUE(WriteSound(s.path, format, kRate, 2, Ramp(frames, 2)));
  s.reference = ReadSound(s.path);
  EXPECT_EQ(s.frames(), frames);
  return s;
}

const Sound& ShortRamp() {
  static const Sound s = MakeRamp("short.wav", WavFloat(), kRate);
  return s;
}

const Sound& LongRamp() {  // longer than what is decoded whole
  static const Sound s = MakeRamp("long.flac", Flac16(), 6 * kRate + 123);
  return s;
}

class BassPlayback : public BassTest, public ::testing::WithParamInterface<bool> {
protected:
  const Sound& sound() const { return GetParam() ? LongRamp() : ShortRamp(); }
};

INSTANTIATE_TEST_SUITE_P(ShortAndLong, BassPlayback, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Long" : "Short"; });

TEST_P(BassPlayback, PlaysTheFileOnceFromTheFirstMixBuffer) {
  const Sound& s = sound();
  const unsigned h = Load(s.path);
  EXPECT_EQ(bass::BASS_ChannelGetLength(h, bass::BASS_POS_BYTE), s.frames() * 8);
  EXPECT_TRUE(Silent(PullFrames(500))) << "nothing plays before BASS_ChannelPlay";
  ASSERT_NE(bass::BASS_ChannelPlay(h, 1), 0);
  const std::size_t mix = bass::testing::MixBufferFrames();
  EXPECT_TRUE(SameSamples(PullFrames(mix), Frames(s.reference, 0, mix)));
  // In uneven pulls, across the chunks of a long stream, up to and past its end.
  std::vector<float> rest;
  while (rest.size() / 2 < s.frames() + 3 * mix) {
    const std::vector<float> part = PullFrames(777 + rest.size() % 5000);
    rest.insert(rest.end(), part.begin(), part.end());
  }
  EXPECT_TRUE(SameSamples(Frames(rest, 0, s.frames() + 3 * mix - mix),
                          Frames(s.reference, mix, s.frames() + 3 * mix - mix)));
  EXPECT_TRUE(Silent(PullFrames(2 * mix))) << "an ended stream stays silent: no looping";
}

TEST_P(BassPlayback, RestartPlaysFromTheStartAlsoWhilePlaying) {
  const Sound& s = sound();
  const unsigned h = Load(s.path);
  ASSERT_NE(bass::BASS_ChannelPlay(h, 1), 0);
  PullFrames(10000);  // past the first chunks of a long stream
  ASSERT_NE(bass::BASS_ChannelPlay(h, 1), 0);
  EXPECT_TRUE(SameSamples(PullFrames(3000), Frames(s.reference, 0, 3000)));
  // Restarted again before the decoder has caught up, and after the end.
  bass::BASS_ChannelPlay(h, 1);
  PullFrames(10);
  bass::BASS_ChannelPlay(h, 1);
  bass::BASS_ChannelPlay(h, 1);
  EXPECT_TRUE(SameSamples(PullFrames(9000), Frames(s.reference, 0, 9000)));
  PullFrames(s.frames());
  ASSERT_NE(bass::BASS_ChannelPlay(h, 1), 0);
  EXPECT_TRUE(SameSamples(PullFrames(5000), Frames(s.reference, 0, 5000)));
}

TEST_P(BassPlayback, StopHoldsThePositionAndPositionZeroRewinds) {
  const Sound& s = sound();
  const unsigned h = Load(s.path);
  bass::BASS_ChannelPlay(h, 1);
  PullFrames(7000);
  ASSERT_NE(bass::BASS_ChannelStop(h), 0);
  EXPECT_TRUE(Silent(PullFrames(2048)));
  bass::BASS_ChannelPlay(h, 0);
  EXPECT_TRUE(SameSamples(PullFrames(1000), Frames(s.reference, 7000, 1000)));
  bass::BASS_ChannelStop(h);
  ASSERT_NE(bass::BASS_ChannelSetPosition(h, 0, bass::BASS_POS_BYTE), 0);
  EXPECT_TRUE(Silent(PullFrames(1024)));
  bass::BASS_ChannelPlay(h, 0);
  EXPECT_TRUE(SameSamples(PullFrames(6000), Frames(s.reference, 0, 6000)));
}

TEST_P(BassPlayback, SetPositionGoesOnFromThatFrame) {
  const Sound& s = sound();
  const unsigned h = Load(s.path);
  bass::BASS_ChannelPlay(h, 1);
  for (std::size_t frame : {std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                            std::size_t{30001}, s.frames() - 10, std::size_t{0}}) {
    SCOPED_TRACE(frame);
    ASSERT_NE(bass::BASS_ChannelSetPosition(h, frame * 8, bass::BASS_POS_BYTE), 0);
    bass::BASS_ChannelPlay(h, 0);  // needed only once it has ended
    EXPECT_TRUE(SameSamples(PullFrames(2000), Frames(s.reference, frame, 2000)));
  }
  EXPECT_EQ(bass::BASS_ChannelSetPosition(h, s.frames() * 8 + 8, bass::BASS_POS_BYTE), 0);
  EXPECT_EQ(bass::BASS_ErrorGetCode(), bass::BASS_ERROR_ILLPARAM);
}

TEST_P(BassPlayback, PauseMixesNothingUntilStart) {
  const Sound& s = sound();
  const unsigned h = Load(s.path);
  bass::BASS_ChannelPlay(h, 1);
  PullFrames(2048);
  bass::testing::ResetCallCounts();
  ASSERT_NE(bass::BASS_Pause(), 0);
  EXPECT_TRUE(Silent(PullFrames(3 * 4096)));
  bass::BASS_ChannelPlay(h, 0);  // a play while paused waits for the output too
  EXPECT_TRUE(Silent(PullFrames(100)));
  ASSERT_NE(bass::BASS_Start(), 0);
  EXPECT_TRUE(SameSamples(PullFrames(1000), Frames(s.reference, 2048, 1000)));
  EXPECT_EQ(bass::testing::PauseCalls(), 1);
  EXPECT_EQ(bass::testing::StartCalls(), 1);
}

TEST_P(BassPlayback, VolumeScalesTheLevelWithinZeroToOne) {
  const Sound& s = sound();
  const unsigned h = Load(s.path);
  const struct {
    float set, heard;
  } cases[] = {{0.5f, 0.5f}, {0.25f, 0.25f}, {1.0f, 1.0f},
               {2.0f, 1.0f}, {-1.0f, 0.0f},  {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    ASSERT_NE(bass::BASS_ChannelSetAttribute(h, bass::BASS_ATTRIB_VOL, c.set), 0);
    bass::BASS_ChannelPlay(h, 1);
    EXPECT_TRUE(SameSamples(PullFrames(4096), Frames(s.reference, 0, 4096), c.heard));
  }
  bass::BASS_ChannelSetAttribute(h, bass::BASS_ATTRIB_VOL, 1.0f);
  EXPECT_TRUE(SameSamples(PullFrames(1000), Frames(s.reference, 4096, 1000)))
      << "a change applies while playing";
  EXPECT_EQ(bass::BASS_ChannelSetAttribute(h, 1, 0.5f), 0) << "only the volume";
}

TEST_P(BassPlayback, FreeingAPlayingStreamSilencesItAndReleasesItOnceTheMixerLetsGo) {
  const unsigned h = Load(sound().path);
  bass::BASS_ChannelPlay(h, 1);
  PullFrames(5000);
  ASSERT_EQ(bass::testing::LiveStreams(), 1);
  ASSERT_NE(bass::BASS_StreamFree(h), 0);
  EXPECT_EQ(bass::testing::LiveStreams(), 1) << "the mixer has not let go yet";
  EXPECT_TRUE(Silent(PullFrames(1024)));
  EXPECT_EQ(bass::testing::LiveStreams(), 0);
}

TEST_F(BassTest, TwoSoundsMixToTheirSumClampedToOne) {
  const struct {
    float a, b, sum;
  } cases[] = {
      {0.3f, 0.6f, 0.9f}, {0.5f, -0.25f, 0.25f}, {0.7f, 0.6f, 1.0f}, {-0.7f, -0.7f, -1.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sum);
    const auto a = ScratchFile("a.wav"), b = ScratchFile("b.wav");
    ASSERT_TRUE(WriteSound(a, WavFloat(), kRate, 1, Constant(kRate, 1, c.a)));
    ASSERT_TRUE(WriteSound(b, WavFloat(), kRate, 2, Constant(kRate, 2, c.b)));
    const unsigned ha = Load(a), hb = Load(b);
    bass::BASS_ChannelPlay(ha, 1);
    bass::BASS_ChannelPlay(hb, 1);
    for (float x : PullFrames(2048)) ASSERT_NEAR(x, c.sum, 1e-6);
    bass::BASS_StreamFree(ha);
    bass::BASS_StreamFree(hb);
  }
}

TEST_F(BassTest, PlaysPastTheLimitAreRefusedWithAMessageAndTheOthersGoOn) {
  const auto path = ScratchFile("quiet.wav");
  ASSERT_TRUE(WriteSound(path, WavFloat(), kRate, 2, Constant(kRate / 2, 2, 0.001f)));
  std::vector<unsigned> handles;
  for (int i = 0; i < bass::kMaxPlaying + 2; ++i) handles.push_back(Load(path));
  for (unsigned h : handles) bass::BASS_ChannelPlay(h, 1);
  for (float x : PullFrames(2048)) ASSERT_NEAR(x, 0.001f * bass::kMaxPlaying, 1e-5);
  const std::vector<std::string> messages = bass::TakeMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].find(std::to_string(handles[bass::kMaxPlaying])), std::string::npos)
      << messages[0];
  EXPECT_NE(messages[1].find("not started"), std::string::npos) << messages[1];
  // Room again once one stops.
  bass::BASS_ChannelStop(handles[0]);
  bass::BASS_ChannelPlay(handles.back(), 1);
  for (float x : PullFrames(1024)) ASSERT_NEAR(x, 0.001f * bass::kMaxPlaying, 1e-5);
  EXPECT_TRUE(bass::TakeMessages().empty());
}

}  // namespace
}  // namespace bass_test
