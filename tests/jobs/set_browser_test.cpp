// The set browser: names of the sets in tape order, opening one, and its failure.

#include "jobs/set_browser.h"

#include "run_fixture.h"
#include "sys/cp932.h"

namespace korv::test {
namespace {

class SetBrowserTest : public RunFixture {};

TEST_F(SetBrowserTest, ListsTheSetsInTapeOrderAndRewinds) {
  EXPECT_TRUE(jobs::listSets(*sf).names.empty());  // a fresh volume has none
  writeSet(*utf8ToCp932("一"), {{"/a", "a"}});
  writeSet("two", {{"/b", "b"}, {"/c", "c"}});
  trace.clear();
  const auto list = jobs::listSets(*sf);
  EXPECT_TRUE(list.mounted);
  EXPECT_EQ(list.names, (std::vector<std::string>{*utf8ToCp932("一"), "two"}));
  EXPECT_EQ(trace.back().cdb[0], 0x01);

  std::string name;
  ASSERT_TRUE(jobs::openSet(*sf, 2, name, messages));
  EXPECT_EQ(name, "two");
  EXPECT_EQ(sf->Catalogue.size(), 2u);
  EXPECT_FALSE(jobs::openSet(*sf, 3, name, messages));
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"マウントできません"});
  EXPECT_EQ(messages.beeps, std::vector<unsigned>{kBeepExclamation});
}

TEST_F(SetBrowserTest, BlankTapeIsNotMounted) {
  ASSERT_TRUE(sf->TapeErase());  // at the beginning: the recorded data ends there
  const auto list = jobs::listSets(*sf);
  EXPECT_FALSE(list.mounted);
  EXPECT_TRUE(list.names.empty());
}

}  // namespace
}  // namespace korv::test
