#include "platform/crt_rand.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(CrtRand, FirstValuesOfAFreshThread) {
  // The runtime library's sequence from its initial state 1.
  std::vector<int> values;
  std::thread([&] {
    for (int i = 0; i < 5; ++i) values.push_back(qv::CrtRand());
  }).join();
  EXPECT_EQ(values, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
}

TEST(CrtRand, StateIsPerThreadAndSeedable) {
  int a = 0, b = 0;
  std::thread([&] { qv::CrtRand(); qv::CrtRand(); a = qv::CrtRand(); }).join();
  std::thread([&] { b = qv::CrtRand(); }).join();
  EXPECT_EQ(a, 6334);
  EXPECT_EQ(b, 41);
  std::thread([&] { qv::CrtSrand(1); a = qv::CrtRand(); }).join();
  EXPECT_EQ(a, 41);
}

}  // namespace
