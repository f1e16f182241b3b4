// The one replacing write (ReplaceWholeFile), as a game's saves call it, in real time:
//
//   files_bench [replace] [folder]   saves of 100 B and of 1 MB, and of 100 B in a folder that
//                                    holds 10,000 other files
//   files_bench inplace [folder]     saves of 100 B and of 1 MB over a file of the same size in
//                                    a folder that takes no new file, so that the file is
//                                    rewritten where it stands
//
// Each prints the mean and median time of one save. The work happens in a new folder under
// folder (default the system's temporary folder), removed afterwards. Each save is synced to the
// disk, so the figures depend on the disk as much as on the code. In-place saves need a user who
// may write the files but not their folder: run as root, that user is "nobody" (root writes
// through any folder mode), in a child, so that root removes the folder afterwards.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;

namespace {

bool Measure(const char* label, const fs::path& file, std::size_t size, int saves) {
  const std::string bytes(size, 'n');
  std::vector<double> us;
  for (int i = 0; i < saves; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = w32::ReplaceWholeFile(file.string(), bytes);
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    if (!ok) {
      std::fprintf(stderr, "files_bench: %s: save %d failed (error %u)\n", label, i, w32::GetLastError());
      return false;
    }
  }
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double u : us) sum += u;
  std::printf("%-32s mean %9.1f us   median %9.1f us   (%d saves)\n", label, sum / static_cast<double>(us.size()),
              us[us.size() / 2], saves);
  return true;
}

int Replace(const fs::path& folder) {
  fs::create_directories(folder / "small");
  fs::create_directories(folder / "crowded");
  bool ok = Measure("100 B save", folder / "small" / "save.txt", 100, 500) &&
            Measure("1 MB save", folder / "small" / "big.txt", 1000000, 100);
  for (int n = 0; ok && n < 10000; ++n) std::ofstream(folder / "crowded" / ("other" + std::to_string(n) + ".txt")) << n;
  ok = ok && Measure("100 B save among 10,000 files", folder / "crowded" / "save.txt", 100, 500);
  return ok ? 0 : 1;
}

int InPlace(const fs::path& folder) {
  const std::pair<const char*, std::size_t> sizes[] = {{"100 B", 100}, {"1 MB", 1000000}};
  for (const auto& [label, size] : sizes) std::ofstream(folder / label, std::ios::binary) << std::string(size, 'o');
  const passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr;
  if (getuid() == 0 && nobody == nullptr) {
    std::fprintf(stderr, "files_bench: run as root, and there is no user \"nobody\" to save as\n");
    return 1;
  }
  if (nobody != nullptr) {
    for (const auto& entry : fs::directory_iterator(folder)) (void)chown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid);
  }
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    if (nobody != nullptr && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)) {
      std::fprintf(stderr, "files_bench: cannot become the user \"nobody\"\n");
      _exit(1);
    }
    bool ok = true;
    for (const auto& [label, size] : sizes) {
      ok = ok && Measure((std::string("in-place ") + label + " save").c_str(), folder / label, size, 200);
    }
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
  }
  int status = 1;
  if (child > 0) waitpid(child, &status, 0);
  fs::permissions(folder, fs::perms::owner_all);
  return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  const bool inPlace = argc > arg && std::strcmp(argv[arg], "inplace") == 0;
  if (argc > arg && (inPlace || std::strcmp(argv[arg], "replace") == 0)) ++arg;
  const fs::path base = argc > arg ? fs::path(argv[arg]) : fs::temp_directory_path();
  const fs::path folder = fs::absolute(base) / ("files-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const int status = inPlace ? InPlace(folder) : Replace(folder);
  fs::remove_all(folder);
  return status;
}
