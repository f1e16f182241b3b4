// The cost of ReplaceWholeFile where the folder takes no new file, so that the file is rewritten
// where it stands: saves of 100 B and of 1 MB over a file of the same size, in real time.
//
//   files_bench [folder] [saves]   saves (default 200) of each size in a new folder under
//                                  folder (default the current one), and the mean and median
//                                  time of one
//
// The folder is made by the bench and the files given to the user who saves; run as root, that
// user is "nobody" (root writes through any folder mode), in a child, so that root removes the
// folder afterwards.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;

namespace {

int Measure(const fs::path& folder, const std::vector<std::pair<const char*, std::size_t>>& sizes, int saves) {
  std::printf("in-place saves in %s, %d of each size\n", folder.c_str(), saves);
  int status = 0;
  for (const auto& [label, size] : sizes) {
    const std::string path = (folder / label).string();
    const std::string bytes(size, 'n');
    std::vector<double> us;
    for (int i = 0; i < saves; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const bool ok = w32::ReplaceWholeFile(path, bytes);
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
      if (!ok) {
        std::fprintf(stderr, "files_bench: the save of %s failed (error %u)\n", label, w32::GetLastError());
        status = 1;
        break;
      }
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double u : us) sum += u;
    std::printf("  %-6s mean %9.1f us   median %9.1f us\n", label, sum / static_cast<double>(us.size()),
                us[us.size() / 2]);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::current_path();
  const int saves = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  const fs::path folder = fs::absolute(base) / ("files-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::vector<std::pair<const char*, std::size_t>> sizes = {{"100 B", 100}, {"1 MB", 1000000}};
  for (const auto& [label, size] : sizes) {
    std::FILE* f = std::fopen((folder / label).c_str(), "wb");
    const std::string old(size, 'o');
    std::fwrite(old.data(), 1, old.size(), f);
    std::fclose(f);
  }
  const passwd* nobody = getuid() == 0 ? getpwnam("nobody") : nullptr;
  if (getuid() == 0 && nobody == nullptr) {
    std::fprintf(stderr, "files_bench: run as root, and there is no user \"nobody\" to save as\n");
    fs::remove_all(folder);
    return 1;
  }
  if (nobody != nullptr) {
    for (const auto& entry : fs::directory_iterator(folder)) (void)chown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid);
  } else {
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  }
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    if (nobody != nullptr && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)) {
      std::fprintf(stderr, "files_bench: cannot become the user \"nobody\"\n");
      _exit(1);
    }
    const int measured = Measure(folder, sizes, saves);
    std::fflush(stdout);
    _exit(measured);
  }
  int status = 1;
  if (child > 0) waitpid(child, &status, 0);
  fs::permissions(folder, fs::perms::owner_all);
  fs::remove_all(folder);
  return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
