// Sound files for the sound stand-in's tests, written and read back through libsndfile, and the
// fixture that gives every test a fresh manual output (the pull seam).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "support/sounds.h"

namespace bass_test {

// libsndfile format numbers the tests write.
int WavFloat();
int Wav16();
int Flac16();
int OggVorbis();
int Mp3();  // 0 when this libsndfile cannot write MPEG layer III

// Interleaved frames. Ramp: each channel counts up through 20000 distinct levels, so a stretch of
// output shows which frames of the file it came from.
std::vector<float> Ramp(std::size_t frames, int channels);
std::vector<float> Constant(std::size_t frames, int channels, float value);
using test_support::Tone;
using test_support::WriteSound;
// Everything the file decodes to, interleaved, as libsndfile gives it.
std::vector<float> ReadSound(const std::filesystem::path& path);

// A fresh scratch file path of this test program.
std::filesystem::path ScratchFile(const std::string& name);

// The first Frames stereo frames of Samples from frame From (zeros past the end).
std::vector<float> Frames(const std::vector<float>& samples, std::size_t from, std::size_t frames);
bool Silent(const std::vector<float>& samples);
// Equal sample for sample (Scale times Expected); names the first frame that differs.
::testing::AssertionResult SameSamples(const std::vector<float>& actual,
                                       const std::vector<float>& expected, float scale = 1.0f);
float Peak(const std::vector<float>& samples);

// Every test starts with no streams, a ready manual output and no queued messages.
class BassTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // A stream of the file, which must load.
  unsigned Load(const std::filesystem::path& path);
};

}  // namespace bass_test
