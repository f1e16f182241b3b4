#include "support/sounds.h"

#include <sndfile.h>

#include <cmath>
#include <string>

namespace test_support {

std::vector<float> Tone(double seconds, int rate, int channels, double amplitude) {
  const auto frames = static_cast<std::size_t>(std::llround(seconds * rate));
  std::vector<float> out(frames * static_cast<std::size_t>(channels));
  for (std::size_t f = 0; f < frames; ++f) {
    const auto v = static_cast<float>(amplitude * std::sin(2.0 * M_PI * 441.0 * static_cast<double>(f) / rate));
    for (int c = 0; c < channels; ++c) out[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = v;
  }
  return out;
}

bool WriteSound(const std::filesystem::path& path, int format, int rate, int channels, const std::vector<float>& samples) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const auto frames = static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels));
  const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
  return sf_close(file) == 0 && ok;
}

bool WriteTone(const std::filesystem::path& path, double seconds, int rate, int channels, double amplitude) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  const std::string ext = path.extension().string();
  const int format = ext == ".ogg"    ? SF_FORMAT_OGG | SF_FORMAT_VORBIS
                     : ext == ".flac" ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                      : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  return WriteSound(path, format, rate, channels, Tone(seconds, rate, channels, amplitude));
}

}  // namespace test_support
