// The raster workers' pool: batches of changing sizes back to back, started while workers may
// still be leaving the batch before, each index runs exactly once and in the right batch.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/d3d9/render_queue.h"

namespace d3d9_test {
namespace {

using platform::d3d9::BandThreadPool;

TEST(BandPool, EveryIndexOfEveryBatchRunsOnce) {
  for (int workers : {1, 3, 7}) {
    BandThreadPool pool(workers);
    std::vector<std::atomic<int>> runs(200);
    for (int batch = 0; batch < 3000; ++batch) {
      // Small batches after large ones are where a late worker's index would fall inside.
      const int count = 1 + (batch * 37) % 150;
      for (int i = 0; i < count; ++i) runs[i] = 0;
      std::atomic<int> wrong{0};
      const auto task = [&runs, &wrong, count](int i) {
        if (i >= count) wrong.fetch_add(1);
        runs[i].fetch_add(1);
      };
      if (batch % 2 == 0) {
        pool.Run(count, task);
      } else {
        pool.Start(count, task);
        pool.Join();
      }
      ASSERT_EQ(wrong.load(), 0) << workers << " workers, batch " << batch;
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(runs[i].load(), 1) << workers << " workers, batch " << batch << ", index " << i;
    }
  }
}

}  // namespace
}  // namespace d3d9_test
