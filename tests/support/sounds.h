// Sound files made by the tests, through libsndfile: sine tones and any samples, in the
// container and encoding a libsndfile format number names.
#pragma once

#include <filesystem>
#include <vector>

namespace test_support {

// Interleaved frames of a 441 Hz sine of Seconds at Rate, equal in every channel, peak Amplitude.
std::vector<float> Tone(double seconds, int rate, int channels, double amplitude);
// Writes the interleaved samples; false when libsndfile cannot.
bool WriteSound(const std::filesystem::path& path, int format, int rate, int channels, const std::vector<float>& samples);
// A tone in the format the name's extension asks for (".wav" 16-bit, ".ogg" Vorbis, ".flac"
// 16-bit), its folder made first.
bool WriteTone(const std::filesystem::path& path, double seconds, int rate, int channels, double amplitude = 0.5);

}  // namespace test_support
