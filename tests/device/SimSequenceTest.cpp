// Runs in a process of its own: the start values of the sequence numbers come from a
// program-wide generator that starts from the same state in every run.
#include <gtest/gtest.h>

#include "SimRig.h"

namespace {

// The generator as the printer protocol's documentation gives it, to find a link that starts
// at the top of the range.
struct Generator {
  uint32_t state = 0;
  uint32_t Next() {
    state = state * 134775813u + 1u;
    return uint32_t((uint64_t(95) * state) >> 32);
  }
};

std::vector<uint8_t> Seqs(const PrinterSim& sim) {
  std::vector<uint8_t> out;
  for (const auto& r : sim.Requests()) out.push_back(r.Seq);
  return out;
}

}  // namespace

TEST(SimSequence, FirstLinksStartAt32And34AndNumbersWrapAfter0x7F) {
  auto sim = StartSim("");
  Generator mirror;
  {
    RecordingLink first(sim->SlavePath());  // starts at 32
    ASSERT_EQ(mirror.Next() + 32, 32u);
    first.SendCommandText(90, "#");
    first.SendCommandText(90, "#");
  }
  {
    RecordingLink second(sim->SlavePath());  // starts at 34
    ASSERT_EQ(mirror.Next() + 32, 34u);
    second.SendCommandText(90, "#");
  }
  EXPECT_EQ(Seqs(*sim), (std::vector<uint8_t>{33, 34, 35}));

  // Draw until the next link would start at 126 (0x7E): its commands carry 0x7F, then 0x20.
  int draws = 0;
  for (Generator probe = mirror; probe.Next() != 94; probe = mirror) {
    mirror.Next();
    NextLinkRandom();
    ASSERT_LT(++draws, 100000);
  }
  mirror.Next();
  RecordingLink top(sim->SlavePath());
  top.SendCommandText(90, "#");
  top.SendCommandText(90, "#");
  top.SendCommandText(90, "#");
  const auto seqs = Seqs(*sim);
  ASSERT_EQ(seqs.size(), 6u);
  EXPECT_EQ(seqs[3], 0x7F);
  EXPECT_EQ(seqs[4], 0x20);
  EXPECT_EQ(seqs[5], 0x21);
}
