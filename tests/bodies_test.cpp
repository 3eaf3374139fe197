#include "starmote/bodies.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "tests/helpers.hpp"
#include "tests/oracle/bodies_oracle.hpp"

namespace {

using Bodies = std::vector<Body>;

std::uint32_t bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// Compares all seven fields by bit pattern, so signed zeros count, and
// NaNs too unless anyNaN: where NaNs of different payloads meet, a path may
// carry another of them, so then any NaN matches any NaN.
::testing::AssertionResult sameBits(const Bodies& got, const Bodies& want, bool anyNaN = false) {
  static const char* const kNames[] = {"mass", "x", "y", "z", "vx", "vy", "vz"};
  for (std::size_t i = 0; i < want.size(); ++i) {
    const float* g = &got[i].mass;
    const float* w = &want[i].mass;
    for (int f = 0; f < 7; ++f) {
      if (anyNaN && std::isnan(g[f]) && std::isnan(w[f])) continue;
      if (bits(g[f]) != bits(w[f])) {
        return ::testing::AssertionFailure()
               << "body " << i << " " << kNames[f] << ": got " << g[f] << " want " << w[f];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_P(EveryPath, TwoBodiesAttractEachOther) {
  Bodies b = {{1, 0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0}};
  bodyForce(b.data(), 0.01f, 2);
  EXPECT_EQ(b[0].vx, 6.674e-13f);
  EXPECT_EQ(b[1].vx, -6.674e-13f);
  EXPECT_EQ(bits(b[0].vy), 0u);
  integrate(b.data(), 0.01f, 2);
  EXPECT_EQ(b[0].x, 6.674e-13f * 0.01f);
  EXPECT_EQ(b[1].x, -6.674e-13f * 0.01f + 1.0f);
}

TEST_P(EveryPath, DegenerateBodies) {
  // One body feels nothing: its velocity gains 0·dt / mass.
  Bodies one = {{0.5f, 1, 2, 3, 0.25f, -0.5f, 1}};
  for (int step = 0; step < 100; ++step) {
    bodyForce(one.data(), 0.01f, 1);
    integrate(one.data(), 0.01f, 1);
  }
  float x = 1;
  for (int step = 0; step < 100; ++step) x = 0.25f * 0.01f + x;
  EXPECT_EQ(one[0].x, x);
  EXPECT_EQ(one[0].vx, 0.25f);

  // No softening: coincident bodies and a massless body go non-finite.
  Bodies same = {{1, 2, 2, 2, 0, 0, 0}, {1, 2, 2, 2, 0, 0, 0}, {1, 5, 5, 5, 0, 0, 0}};
  bodyForce(same.data(), 0.01f, 3);
  EXPECT_FALSE(std::isfinite(same[0].vx));
  EXPECT_FALSE(std::isfinite(same[1].vx));
  Bodies massless = {{0, 0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0}};
  bodyForce(massless.data(), 0.01f, 2);
  EXPECT_TRUE(std::isnan(massless[0].vx));

  // Nothing to do, nothing touched, even through a null pointer.
  for (int n : {0, -1, -2147483647 - 1}) {
    randomizeBodies(nullptr, n);
    bodyForce(nullptr, 0.01f, n);
    integrate(nullptr, 0.01f, n);
  }
}

TEST(Bodies, RandomFieldsFollowTheGeneratorInFieldOrder) {
  std::srand(1);  // the sequence of an unseeded generator
  Bodies b(3);
  randomizeBodies(b.data(), 3);
  std::srand(1);
  for (const Body& body : b) {
    for (float field : {body.mass, body.x, body.y, body.z, body.vx, body.vy, body.vz}) {
      const float want = 2.0f * (static_cast<float>(std::rand()) / 2147483648.0f) - 1.0f;
      EXPECT_EQ(bits(field), bits(want));
      EXPECT_GE(field, -1.0f);
      EXPECT_LE(field, 1.0f);
    }
  }
}

float fromBits(std::uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// Scenes that stress exactness: plain random, clusters at rest, coincident
// pairs, zero and -0 masses, subnormal and huge separations; and fields
// already special, which the program's own bodies never are: NaNs of several
// payloads and both signs, infinities, zeros, subnormals.
constexpr int kScenes = 5;
constexpr int kSpecialScene = 4;
Bodies scene(int n, int kind, std::mt19937& gen) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  Bodies b(n);
  for (int i = 0; i < n; ++i) {
    Body& body = b[i];
    body = {unit(gen), unit(gen), unit(gen), unit(gen), unit(gen), unit(gen), unit(gen)};
    switch (kind) {
      case 1:  // compact cluster at rest
        body.x = 0.5f + unit(gen) * 1e-3f;
        body.y = -0.25f + unit(gen) * 1e-3f;
        body.z = unit(gen) * 1e-3f;
        body.vx = body.vy = body.vz = 0.0f;
        break;
      case 2:  // coincident pairs and zero masses
        if (i % 3 == 1) body = b[i - 1];
        if (i % 5 == 2) body.mass = (i % 2) ? 0.0f : -0.0f;
        break;
      case 3:  // subnormal and huge separations
        body.x = (i % 2) ? unit(gen) * 1e-41f : unit(gen) * 1e18f;
        body.y = (i % 3) ? 1e-39f * static_cast<float>(i) : -1e19f;
        body.z = 0.0f;
        break;
      case kSpecialScene: {
        static const std::uint32_t kPalette[] = {0x7FC00000, 0x7FC0ABCD, 0xFFC00001, 0x7F800000,
                                                 0xFF800000, 0x00000000, 0x80000000, 0x00000001,
                                                 0x7F7FFFFF, 0x3F800000, 0xBF800000};
        float* field = &body.mass;
        for (int f = 0; f < 4; ++f) {
          if (gen() % 3 == 0) field[f] = fromBits(kPalette[gen() % std::size(kPalette)]);
        }
        break;
      }
    }
  }
  return b;
}

std::vector<int> counts() {
  std::vector<int> n;
  for (int k = 1; k <= 70; ++k) n.push_back(k);
  for (int k : {127, 128, 129, 1000}) n.push_back(k);
  return n;
}

TEST_P(EveryPath, ForceSumsMatchOracle) {
  std::mt19937 gen(3);
  // Zero velocities and dt = 1 make each velocity the force sum over the
  // mass, so a one-ulp difference in a sum is not hidden by the old velocity.
  for (int n : counts()) {
    for (int kind = 0; kind < kScenes; ++kind) {
      Bodies want = scene(n, kind, gen);
      for (Body& b : want) b.vx = b.vy = b.vz = 0.0f;
      Bodies got = want;
      oracle::bodyForce(want.data(), 1.0f, n);
      bodyForce(got.data(), 1.0f, n);
      ASSERT_TRUE(sameBits(got, want, kind == kSpecialScene)) << "n=" << n << " scene " << kind;
    }
  }
  Bodies big = scene(4096, 0, gen), want = big;
  for (Body& b : big) b.vx = b.vy = b.vz = 0.0f;
  want = big;
  oracle::bodyForce(want.data(), 1.0f, 4096);
  bodyForce(big.data(), 1.0f, 4096);
  ASSERT_TRUE(sameBits(big, want)) << "n=4096";
}

TEST_P(EveryPath, StepsMatchOracle) {
  std::mt19937 gen(9);
  for (int n : {1, 2, 3, 7, 16, 17, 33, 64, 1000, 24, 130}) {
    const int kind = n % kScenes;
    Bodies want = scene(n, kind, gen), got = want;
    for (int step = 0; step < 5; ++step) {
      oracle::bodyForce(want.data(), 0.01f, n);
      oracle::integrate(want.data(), 0.01f, n);
      bodyForce(got.data(), 0.01f, n);
      integrate(got.data(), 0.01f, n);
      ASSERT_TRUE(sameBits(got, want, kind == kSpecialScene)) << "n=" << n << " step " << step;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EveryPath, ::testing::ValuesIn(kAllIsas), isaTestName);

}  // namespace
