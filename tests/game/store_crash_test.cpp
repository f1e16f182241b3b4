// Profile saves killed at random moments: each file must still load whole, as one of the saves.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "game/AssArray.h"
#include "game_test_support.h"

namespace fs = std::filesystem;
using game_test::NewFolder;

namespace {

using PairList = std::vector<std::pair<std::string, std::string>>;

// Two profiles, each with keys of group 0 (for "ZazoData.cfg") and of groups 1 and 4 (for
// "Profile.txt"); values long enough that a save takes a while.
struct ProfileSet {
  PairList group0, group1;
};

ProfileSet MakeSet(char fill, int count) {
  ProfileSet set;
  for (int i = 0; i < count; ++i) {
    set.group0.emplace_back("slot" + std::to_string(i), std::string(4000 + 100 * i, fill));
    set.group1.emplace_back((i % 2 ? "1done" : "4bonus") + std::to_string(i), std::string(3000, fill));
  }
  return set;
}

void Fill(tAssArray& store, const ProfileSet& set) {
  store.Clear();
  // Interleaved, as the scripts' lists come.
  for (std::size_t i = 0; i < set.group0.size(); ++i) {
    store.AddPair(set.group0[i].first, set.group0[i].second);
    store.AddPair(set.group1[i].first, set.group1[i].second);
  }
}

PairList Load(const std::string& file, int32_t tag) {
  tAssArray store;
  store.LoadFromFile(file, tag);
  PairList pairs;
  for (const tAssPair& p : store.Pairs) pairs.emplace_back(p.Key, p.Value);
  return pairs;
}

}  // namespace

TEST(AssArrayCrashTest, KilledSavesLeaveEveryFileWholeAsOneOfTheSaves) {
  game_test::UseFreshLog();
  const fs::path dir = NewFolder("store-crash");
  const std::string zazo = (dir / "ZazoData.cfg").string();
  const std::string profile = (dir / "Profile.txt").string();
  const ProfileSet sets[2] = {MakeSet('a', 6), MakeSet('b', 9)};

  tAssArray store;
  Fill(store, sets[0]);
  store.SaveGroupToFile(zazo, 0);
  store.SaveGroupToFile(profile, 1);

  int leftovers = 0;
  game_test::KillAtRandomMoments(
      50, 300, 4000,
      [&](int kill) {
        tAssArray saver;
        for (int n = kill;; ++n) {
          Fill(saver, sets[n % 2]);
          saver.SaveGroupToFile(zazo, 0);
          saver.SaveGroupToFile(profile, 1);
        }
      },
      [&](int kill) {
        const PairList z = Load(zazo, 0), p = Load(profile, 1);
        EXPECT_TRUE(z == sets[0].group0 || z == sets[1].group0) << "kill " << kill << ": " << z.size() << " pairs";
        EXPECT_TRUE(p == sets[0].group1 || p == sets[1].group1) << "kill " << kill << ": " << p.size() << " pairs";
        // A kill leaves at most one temporary of each file: the next save removes it.
        const int left = game_test::LeftoverTemporaries(dir, "ZazoData.cfg") +
                         game_test::LeftoverTemporaries(dir, "Profile.txt");
        EXPECT_LE(left, 2) << "kill " << kill;
        leftovers += left;
      });
  // How often a kill caught a write half done; informative only, it depends on timing.
  RecordProperty("leftover_temporaries", leftovers);

  // The next run's first save takes the place of whatever an interrupted one left.
  const pid_t next = fork();
  if (next == 0) {
    Fill(store, sets[1]);
    store.SaveGroupToFile(zazo, 0);
    store.SaveGroupToFile(profile, 1);
    _exit(0);
  }
  ASSERT_EQ(waitpid(next, nullptr, 0), next);
  EXPECT_EQ(game_test::LeftoverTemporaries(dir, "ZazoData.cfg"), 0);
  EXPECT_EQ(game_test::LeftoverTemporaries(dir, "Profile.txt"), 0);
  EXPECT_EQ(Load(zazo, 0), sets[1].group0);
  EXPECT_EQ(Load(profile, 1), sets[1].group1);
  EXPECT_FALSE(fs::exists(profile + ".corrupt"));  // nothing ever loaded as corrupt
}
