// The one replacing write (ReplaceWholeFile), as a game's saves call it, in a scratch folder:
//
//   files_bench [folder]   the median and the mean time of one save of 100 B and of 1 MB, and
//                          of a 100 B save in a folder that holds 10,000 other files; the
//                          folder (default: a new one under the system's temporary folder) is
//                          removed afterwards
//
// Each save is synced to the disk, so the figures depend on the disk as much as on the code.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/win32_files.h"

namespace {

namespace fs = std::filesystem;
namespace w32 = platform::win32;

void Measure(const char* label, const fs::path& file, const std::string& bytes, int saves) {
  std::vector<double> ms;
  for (int n = 0; n < saves; ++n) {
    const auto start = std::chrono::steady_clock::now();
    if (!w32::ReplaceWholeFile(file.string(), bytes)) {
      std::fprintf(stderr, "%s: save %d failed\n", label, n);
      std::exit(1);
    }
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  double sum = 0;
  for (double m : ms) sum += m;
  std::sort(ms.begin(), ms.end());
  std::printf("%-34s median %7.3f ms   mean %7.3f ms   (%d saves)\n", label, ms[ms.size() / 2], sum / ms.size(), saves);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / ("files_bench-" + std::to_string(getpid()));
  fs::create_directories(root / "small");
  fs::create_directories(root / "crowded");
  Measure("100 B save", root / "small" / "save.txt", std::string(100, 's'), 500);
  Measure("1 MB save", root / "small" / "big.txt", std::string(1 << 20, 'b'), 100);
  for (int n = 0; n < 10000; ++n) std::ofstream(root / "crowded" / ("other" + std::to_string(n) + ".txt")) << n;
  Measure("100 B save among 10,000 files", root / "crowded" / "save.txt", std::string(100, 's'), 500);
  fs::remove_all(root);
  return 0;
}
