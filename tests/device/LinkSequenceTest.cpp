// Runs in a process of its own: the start values come from a program-wide generator that
// begins at the same state in every run.
#include <gtest/gtest.h>

#include "LinkRig.h"

TEST(LinkSequence, FirstLinksOfAProgramStartAt32Then34) {
  auto rig = std::make_shared<LinkRig>();
  rig->onWrite = AnswerAll("ok");
  auto first = MakeRigLink(rig);
  EXPECT_EQ(first->Sequence(), 32);
  first->SendCommandText(90, "#");
  EXPECT_EQ(uint8_t(rig->writes.at(0).bytes.at(2)), 33);

  auto second = MakeRigLink(rig);
  EXPECT_EQ(second->Sequence(), 34);
  // The generator itself goes on from there.
  const uint32_t third = NextLinkRandom();
  EXPECT_LE(third, 94u);
}
