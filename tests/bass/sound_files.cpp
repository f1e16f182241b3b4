#include "bass/sound_files.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "platform/bass/bass.h"
#include "support/scratch.h"

namespace bass = platform::bass;

namespace bass_test {

int WavFloat() { return SF_FORMAT_WAV | SF_FORMAT_FLOAT; }
int Wav16() { return SF_FORMAT_WAV | SF_FORMAT_PCM_16; }
int Flac16() { return SF_FORMAT_FLAC | SF_FORMAT_PCM_16; }
int OggVorbis() { return SF_FORMAT_OGG | SF_FORMAT_VORBIS; }
int Mp3() {
  SF_INFO info{};
  info.samplerate = 22050;
  info.channels = 1;
  info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  return sf_format_check(&info) ? info.format : 0;
}

std::vector<float> Ramp(std::size_t frames, int channels) {
  std::vector<float> out(frames * channels);
  for (std::size_t f = 0; f < frames; ++f) {
    const float level = static_cast<float>(f % 20000 + 1) / 40000.0f;
    for (int c = 0; c < channels; ++c) out[f * channels + c] = c % 2 == 0 ? level : -level / 2;
  }
  return out;
}

std::vector<float> Constant(std::size_t frames, int channels, float value) {
  return std::vector<float>(frames * channels, value);
}

std::vector<float> ReadSound(const std::filesystem::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<float> out;
  if (file == nullptr) return out;
  std::vector<float> block(4096 * info.channels);
  sf_count_t n;
  while ((n = sf_readf_float(file, block.data(), 4096)) > 0) {
    out.insert(out.end(), block.begin(), block.begin() + n * info.channels);
  }
  sf_close(file);
  return out;
}

std::filesystem::path ScratchFile(const std::string& name) {
  static const std::filesystem::path root = test_support::MakeScratchRoot("bass");
  return test_support::NewFolder(root, "f") / name;
}

std::vector<float> Frames(const std::vector<float>& samples, std::size_t from, std::size_t frames) {
  std::vector<float> out(frames * 2, 0.0f);
  for (std::size_t i = 0; i < frames * 2 && from * 2 + i < samples.size(); ++i)
    out[i] = samples[from * 2 + i];
  return out;
}

bool Silent(const std::vector<float>& samples) {
  return std::all_of(samples.begin(), samples.end(), [](float x) { return x == 0.0f; });
}

::testing::AssertionResult SameSamples(const std::vector<float>& actual,
                                       const std::vector<float>& expected, float scale) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << actual.size() << " samples, expected " << expected.size();
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i] * scale) {
      return ::testing::AssertionFailure() << "frame " << i / 2 << " channel " << i % 2 << ": "
                                           << actual[i] << ", expected " << expected[i] * scale;
    }
  }
  return ::testing::AssertionSuccess();
}

float Peak(const std::vector<float>& samples) {
  float peak = 0.0f;
  for (float x : samples) peak = std::max(peak, std::fabs(x));
  return peak;
}

void BassTest::SetUp() {
  bass::BASS_Free();
  bass::testing::UseManualOutput(true);
  ASSERT_NE(bass::BASS_Init(-1, 44100, 0, nullptr, nullptr), 0);
  bass::TakeMessages();
}

void BassTest::TearDown() {
  bass::BASS_Free();
  bass::testing::UseManualOutput(false);
  EXPECT_EQ(bass::testing::LiveStreams(), 0);
}

unsigned BassTest::Load(const std::filesystem::path& path) {
  const bass::HSTREAM h = bass::BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  EXPECT_NE(h, 0u) << path << ": " << bass::ErrorText();
  return h;
}

}  // namespace bass_test
