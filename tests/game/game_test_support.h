// Shared helpers of the game host tests: a main log of their own in a scratch folder, scratch
// folders, and small file helpers.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "foundation/CUnit.h"
#include "foundation/KeshLogEngine.h"
#include "game/AssArray.h"
#include "runtime/Streams.h"
#include "support/scratch.h"

namespace game_test {

inline std::filesystem::path ScratchRoot() {
  static const std::filesystem::path root = test_support::MakeScratchRoot("game");
  return root;
}

// A fresh empty folder under the scratch root.
inline std::filesystem::path NewFolder(const std::string& name) {
  return test_support::NewFolder(ScratchRoot(), name);
}

using test_support::ReadFile;
using test_support::WriteFile;

// Bytes as a profile file holds them: scrambled with the stores' key.
inline std::string Scramble(const std::string& bytes) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  ScrambleStream(source, dest, tAssArray::kScrambleKey);
  return dest.ToString();
}

// Makes a new log file in the scratch folder the main log and returns its path.
inline std::filesystem::path UseFreshLog() {
  InitializeKeshLogEngine();
  static int counter = 0;
  auto path = ScratchRoot() / ("test-" + std::to_string(++counter) + ".log");
  LogEngine->MainLog = LogEngine->AddLogFile(path.string());
  return path;
}

// The hidden temporaries that saves of the file Name left in Folder (".<name>.<pid>-<n>.tmp").
inline int LeftoverTemporaries(const std::filesystem::path& folder, const std::string& name) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string entryName = entry.path().filename().string();
    if (entryName.rfind("." + name + ".", 0) == 0 && entryName.size() > name.size() + 6 &&
        entryName.compare(entryName.size() - 4, 4, ".tmp") == 0) {
      ++count;
    }
  }
  return count;
}

// Crash safety: Kills times, a child process runs Work (which never returns) and is killed with
// SIGKILL at a random moment MinUs to MaxUs after it starts; after each kill Check(kill) looks
// at what the child left. The seed is in the failure message.
template <typename Work, typename Check>
void KillAtRandomMoments(int kills, int minUs, int maxUs, Work work, Check check) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(minUs, maxUs);
  for (int kill = 0; kill < kills; ++kill) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      alarm(10);  // ends itself should the parent never come back for it
      work(kill);
      _exit(1);
    }
    usleep(static_cast<useconds_t>(delayUs(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended by itself";
    check(kill);
  }
}

}  // namespace game_test
