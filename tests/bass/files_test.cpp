// Streams from files: lengths at any rate and channel count, damaged and wrong files, handles.
#include <algorithm>
#include <cmath>
#include <random>

#include "bass/sound_files.h"
#include "platform/bass/bass.h"
#include "support/scratch.h"

namespace bass = platform::bass;
using bass::testing::PullFrames;

namespace bass_test {
namespace {

double Milliseconds(unsigned h) {
  return std::nearbyint(
      bass::BASS_ChannelBytes2Seconds(h, bass::BASS_ChannelGetLength(h, bass::BASS_POS_BYTE)) *
      1000.0);
}

// Lengths and positions count frames at the stream's own rate (8 bytes each).
std::size_t LengthFrames(unsigned h) {
  return bass::BASS_ChannelGetLength(h, bass::BASS_POS_BYTE) / 8;
}

// The stream's length in frames of the output (44100 Hz).
std::size_t OutputFrames(unsigned h, int rate) {
  return static_cast<std::size_t>(std::nearbyint(static_cast<double>(LengthFrames(h)) * 44100.0 / rate));
}

struct FileKind {
  const char* name;
  int format;
  int rate;
  int channels;
};

TEST_F(BassTest, AFileOfOneAndAHalfSecondsLasts1500msAtAnyRateAndPlaysToItsEnd) {
  const FileKind kinds[] = {
      {"mono22050.wav", Wav16(), 22050, 1},       {"stereo48000.wav", WavFloat(), 48000, 2},
      {"mono8000.wav", Wav16(), 8000, 1},         {"stereo96000.flac", Flac16(), 96000, 2},
      {"stereo48000.flac", Flac16(), 48000, 2},   {"mono22050.ogg", OggVorbis(), 22050, 1},
      {"stereo44100.ogg", OggVorbis(), 44100, 2}, {"six44100.ogg", OggVorbis(), 44100, 6},
      {"mono22050.mp3", Mp3(), 22050, 1},
  };
  for (const FileKind& k : kinds) {
    SCOPED_TRACE(k.name);
    if (k.format == 0) continue;  // no MPEG encoder in this libsndfile
    const auto path = ScratchFile(k.name);
    ASSERT_TRUE(WriteSound(path, k.format, k.rate, k.channels, Tone(1.5, k.rate, k.channels, 0.5)));
    const unsigned h = Load(path);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Milliseconds(h), 1500.0);
    EXPECT_EQ(LengthFrames(h), 3u * k.rate / 2);
    const std::size_t length = OutputFrames(h, k.rate);
    bass::BASS_ChannelPlay(h, 1);
    const std::vector<float> out = PullFrames(length + 4096);
    EXPECT_NEAR(Peak(Frames(out, 0, length)), 0.5, 0.08);
    EXPECT_GT(Peak(Frames(out, length - 200, 200)), 0.1) << "the sound goes on to the end";
    EXPECT_TRUE(Silent(Frames(out, length, 4096))) << "and ends there";
    if (k.channels <= 2) {
      for (std::size_t f = 0; f < length; ++f)
        ASSERT_EQ(out[2 * f], out[2 * f + 1]) << "frame " << f;
    }
    bass::BASS_StreamFree(h);
  }
}

TEST_F(BassTest, ALongFileTakesItsLengthFromItsFrameCountAndPlaysToItsEnd) {
  const auto path = ScratchFile("long22050.flac");
  ASSERT_TRUE(WriteSound(path, Flac16(), 22050, 1, Tone(6.5, 22050, 1, 0.5)));
  const unsigned h = Load(path);
  EXPECT_EQ(Milliseconds(h), 6500.0);
  EXPECT_EQ(LengthFrames(h), 143325u);
  const std::size_t length = OutputFrames(h, 22050);
  bass::BASS_ChannelPlay(h, 1);
  const std::vector<float> out = PullFrames(length + 8192);
  EXPECT_NEAR(Peak(Frames(out, 0, 44100)), 0.5, 0.05);
  EXPECT_GT(Peak(Frames(out, length - 200, 200)), 0.1);
  EXPECT_TRUE(Silent(Frames(out, length, 8192)));
}

TEST_F(BassTest, MissingWrongAndEmptyFilesGiveNoStreamAndTheReason) {
  const auto folder = ScratchFile("folder.wav");
  std::filesystem::create_directories(folder);
  std::mt19937 random(7);
  std::string noise(3000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const struct {
    const char* name;
    std::string bytes;
    int code;
    const char* reason;
  } cases[] = {
      {"missing.wav", "", bass::BASS_ERROR_FILEOPEN, "No such file"},
      {"", "", bass::BASS_ERROR_FILEOPEN, "not a file"},
      {"empty.wav", "", bass::BASS_ERROR_FILEFORM, "empty.wav"},
      {"notes.ogg", "These are the notes of the second level, not its music.\n",
       bass::BASS_ERROR_FILEFORM, "Format not recognised"},
      {"noise.wav", noise, bass::BASS_ERROR_FILEFORM, "noise.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::path path = folder;
    if (*c.name != '\0') {
      path = ScratchFile(c.name);
      if (std::string(c.name) != "missing.wav") test_support::WriteFile(path, c.bytes);
    }
    EXPECT_EQ(bass::BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(bass::BASS_ErrorGetCode(), c.code);
    EXPECT_NE(bass::ErrorText().find(c.reason), std::string::npos) << bass::ErrorText();
  }
  EXPECT_EQ(bass::testing::LiveStreams(), 0);
}

// A file cut short, or with a good header and nothing sound behind it, gives no stream or a
// stream that plays what there is and ends there.
TEST_F(BassTest, DamagedFilesGiveNoStreamOrPlayWhatTheyHoldAndEnd) {
  struct Damaged {
    std::string name;
    std::string bytes;
    int rate = 44100;
  };
  std::vector<Damaged> cases;
  const FileKind kinds[] = {{"cut.wav", Wav16(), 44100, 2},
                            {"cut.flac", Flac16(), 44100, 2},
                            {"cut.ogg", OggVorbis(), 44100, 2},
                            {"cut.mp3", Mp3(), 22050, 1},
                            {"longcut.flac", Flac16(), 8000, 1}};
  for (const FileKind& k : kinds) {
    if (k.format == 0) continue;
    const auto full = ScratchFile(k.name);
    ASSERT_TRUE(WriteSound(full, k.format, k.rate, k.channels,
                           Tone(k.rate == 8000 ? 9.0 : 2.0, k.rate, k.channels, 0.5)));
    const std::string bytes = test_support::ReadFile(full);
    for (int percent : {60, 10, 2}) {
      cases.push_back(
          {std::to_string(percent) + "-" + k.name, bytes.substr(0, bytes.size() * percent / 100), k.rate});
    }
  }
  const std::string junk(4000, 'x');
  cases.push_back(
      {"riff.wav", std::string("RIFF\xff\xff\xff\x7fWAVEfmt \x10\0\0\0\x01\0\x02\0", 24) + junk});
  cases.push_back({"oggs.ogg", "OggS" + junk});
  cases.push_back({"flac.flac", "fLaC" + junk});
  for (const Damaged& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = ScratchFile(c.name);
    test_support::WriteFile(path, c.bytes);
    const unsigned h = bass::BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    if (h == 0) {
      EXPECT_EQ(bass::BASS_ErrorGetCode(), bass::BASS_ERROR_FILEFORM);
      EXPECT_FALSE(bass::ErrorText().empty());
      continue;
    }
    const std::size_t length = OutputFrames(h, c.rate);
    EXPECT_LE(length, 9u * 44100);
    bass::BASS_ChannelPlay(h, 1);
    PullFrames(length);
    EXPECT_TRUE(Silent(PullFrames(8192))) << "ended where the data ends";
    bass::BASS_StreamFree(h);
  }
  // A read error is reported, for a sound decoded whole and for one decoded ahead while it plays.
  const std::vector<std::string> messages = bass::TakeMessages();
  for (const char* name : {"60-cut.flac", "60-longcut.flac"}) {
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& m) {
      return m.find(name) != std::string::npos && m.find("ends early") != std::string::npos;
    })) << name;
  }
}

// Cut short, a file's header promises more than it holds, or (Ogg) does not say: the length is
// what it decodes to, and so is the choice between decoding it whole and while it plays.
TEST_F(BassTest, ACutFileLastsWhatItHolds) {
  const FileKind kinds[] = {{"cut10.ogg", OggVorbis(), 44100, 2},
                            {"cut10.flac", Flac16(), 44100, 2},
                            {"cut10.mp3", Mp3(), 22050, 1},
                            {"cut20.ogg", OggVorbis(), 22050, 1}};
  for (const FileKind& k : kinds) {
    SCOPED_TRACE(k.name);
    if (k.format == 0) continue;
    const double seconds = k.name[3] == '2' ? 20.0 : 10.0;
    const auto full = ScratchFile(std::string("full-") + k.name);
    ASSERT_TRUE(WriteSound(full, k.format, k.rate, k.channels, Tone(seconds, k.rate, k.channels, 0.5)));
    const std::string bytes = test_support::ReadFile(full);
    const auto path = ScratchFile(k.name);
    test_support::WriteFile(path, bytes.substr(0, bytes.size() * 45 / 100));
    const std::size_t holds = ReadSound(path).size() / static_cast<std::size_t>(k.channels);
    ASSERT_GT(holds, 0u);
    ASSERT_LT(holds, static_cast<std::size_t>(seconds * k.rate * 0.6));

    const unsigned h = Load(path);
    EXPECT_EQ(LengthFrames(h), holds);
    EXPECT_EQ(Milliseconds(h), std::nearbyint(static_cast<double>(holds) * 1000.0 / k.rate));
    EXPECT_EQ(bass::testing::DecodedWhole(h), holds <= 5u * static_cast<std::size_t>(k.rate));
    const std::size_t length = OutputFrames(h, k.rate);
    bass::BASS_ChannelPlay(h, 1);
    const std::vector<float> out = PullFrames(length + 8192);
    EXPECT_GT(Peak(Frames(out, length - 2000, 1000)), 0.1) << "the sound goes on to the end";
    EXPECT_TRUE(Silent(Frames(out, length, 8192))) << "and ends there";
    bass::BASS_StreamFree(h);
  }
}

TEST_F(BassTest, StaleAndUnknownHandlesAnswerFailureAndAreNotFollowed) {
  const auto path = ScratchFile("stale.wav");
  ASSERT_TRUE(WriteSound(path, Wav16(), 44100, 1, Tone(0.2, 44100, 1, 0.5)));
  const unsigned freed = Load(path);
  bass::BASS_ChannelPlay(freed, 1);
  ASSERT_NE(bass::BASS_StreamFree(freed), 0);
  for (unsigned h : {0u, freed, freed + 1000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(bass::BASS_ChannelGetLength(h, bass::BASS_POS_BYTE), static_cast<bass::QWORD>(-1));
    EXPECT_LT(bass::BASS_ChannelBytes2Seconds(h, 800), 0.0);
    EXPECT_EQ(bass::BASS_ChannelSetAttribute(h, bass::BASS_ATTRIB_VOL, 0.5f), 0);
    EXPECT_EQ(bass::BASS_ChannelPlay(h, 1), 0);
    EXPECT_EQ(bass::BASS_ChannelStop(h), 0);
    EXPECT_EQ(bass::BASS_ChannelSetPosition(h, 0, bass::BASS_POS_BYTE), 0);
    EXPECT_EQ(bass::BASS_StreamFree(h), 0);
    EXPECT_EQ(bass::BASS_ErrorGetCode(), bass::BASS_ERROR_HANDLE);
  }
  EXPECT_TRUE(Silent(PullFrames(4096)));
}

TEST_F(BassTest, HandlesAreNeverGivenTwice) {
  const auto path = ScratchFile("h.wav");
  ASSERT_TRUE(WriteSound(path, Wav16(), 44100, 1, Tone(0.1, 44100, 1, 0.5)));
  const unsigned a = Load(path);
  bass::BASS_StreamFree(a);
  PullFrames(10);
  const unsigned b = Load(path);
  EXPECT_GT(b, a);
  bass::BASS_Free();
  ASSERT_NE(bass::BASS_Init(-1, 44100, 0, nullptr, nullptr), 0);
  EXPECT_GT(Load(path), b);
}

TEST(BassNoOutput, StreamsAreMadeBeforeInitButPlayNothing) {
  bass::BASS_Free();
  const auto path = ScratchFile("early.wav");
  ASSERT_TRUE(WriteSound(path, Wav16(), 22050, 1, Tone(1.5, 22050, 1, 0.5)));
  const unsigned h = bass::BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(Milliseconds(h), 1500.0);
  EXPECT_NE(bass::BASS_ChannelSetAttribute(h, bass::BASS_ATTRIB_VOL, 0.5f), 0);
  EXPECT_EQ(bass::BASS_ChannelPlay(h, 1), 0);
  EXPECT_EQ(bass::BASS_ErrorGetCode(), bass::BASS_ERROR_INIT);
  EXPECT_TRUE(PullFrames(100).empty());
  bass::testing::ResetCallCounts();
  EXPECT_EQ(bass::BASS_Pause(), 0);
  EXPECT_EQ(bass::BASS_Start(), 0);
  EXPECT_EQ(bass::testing::PauseCalls(), 1);
  EXPECT_EQ(bass::testing::StartCalls(), 1);
  EXPECT_NE(bass::BASS_StreamFree(h), 0);
  EXPECT_EQ(bass::testing::LiveStreams(), 0);
}

}  // namespace
}  // namespace bass_test
