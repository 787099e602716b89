// How the terminal shows boxes and gets its answers.

#include "cli/terminal_messages.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/text_format.h"

namespace korv::cli {
namespace {

TerminalMessages::Settings settings(bool yes, bool wait, bool interactive) {
  TerminalMessages::Settings s;
  s.yes = yes;
  s.wait = wait;
  s.interactive = interactive;
  return s;
}
const auto kScript = settings(false, false, false);
const auto kYes = settings(true, false, false);
const auto kWait = settings(false, true, false);
const auto kPerson = settings(false, false, true);

struct Terminal {
  explicit Terminal(TerminalMessages::Settings settings, const std::string& typed = "")
      : in(typed), messages(withTitle(settings), out, in) {}
  static TerminalMessages::Settings withTitle(TerminalMessages::Settings s) {
    s.title = "Korvessian-cli";
    s.retryPauseMs = 0;
    return s;
  }
  std::ostringstream out;
  std::istringstream in;
  TerminalMessages messages;
};

TEST(TerminalMessages, BoxesAreTitledLinesOnStandardError) {
  Terminal t(kScript);
  t.messages.show(BoxType::Plain, "正常終了．");
  EXPECT_FALSE(t.messages.warned());
  t.messages.show(BoxType::Information, "終了しました．");
  EXPECT_FALSE(t.messages.warned());
  t.messages.show(BoxType::Warning, "一行目\r二行目");
  EXPECT_TRUE(t.messages.warned());
  t.messages.show(BoxType::Error, "x");
  EXPECT_EQ(t.out.str(),
            "Korvessian-cli: 正常終了．\n情報: 終了しました．\n警告: 一行目\n二行目\nｴﾗｰ: x\n");
}

TEST(TerminalMessages, ConfirmationsNeedYesOrAPerson) {
  EXPECT_TRUE(Terminal(kYes).messages.confirm("q"));
  Terminal script(kScript);
  EXPECT_FALSE(script.messages.confirm("削除します．\r削除していいですか？"));
  EXPECT_NE(script.out.str().find("警告: 削除します．\n削除していいですか？\n"), std::string::npos);
  EXPECT_TRUE(script.messages.confirmIfAttended("巻き戻します"));  // loses nothing

  Terminal person(kPerson, "y\nn\n\n");
  EXPECT_TRUE(person.messages.confirm("q"));
  EXPECT_FALSE(person.messages.confirm("q"));
  EXPECT_FALSE(person.messages.confirmIfAttended("q"));  // empty answer: No
  EXPECT_FALSE(person.messages.confirm("q"));            // end of input: No
  EXPECT_NE(person.out.str().find("[y/N] "), std::string::npos);
}

TEST(TerminalMessages, NotReadyRetriesOnlyWithWaitOrAPerson) {
  Terminal script(kYes);  // --yes does not answer the retry question
  EXPECT_FALSE(script.messages.askYesNoError("媒体の準備が出来ていません．\r再試行しますか？"));
  EXPECT_NE(script.out.str().find("ｴﾗｰ: 媒体の準備が出来ていません．\n再試行しますか？\n"),
            std::string::npos);

  Terminal waiting(kWait);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(waiting.messages.askYesNoError("not ready"));
  const std::string said = waiting.out.str();
  EXPECT_EQ(said.find("ｴﾗｰ: not ready"), said.rfind("ｴﾗｰ: not ready")) << "said once";

  Terminal person(kPerson, "yes\nno\n");
  EXPECT_TRUE(person.messages.askYesNoError("not ready"));
  EXPECT_FALSE(person.messages.askYesNoError("not ready"));
}

TEST(TerminalMessages, InputBox) {
  EXPECT_EQ(Terminal(kScript).messages.input("c", "p", "初期値", 255), "初期値");
  Terminal person(kPerson, "\nテープ名\n");
  EXPECT_EQ(person.messages.input("c", "p", "初期値", 255), "初期値");
  EXPECT_EQ(person.messages.input("c", "p", "初期値", 2), "テー");
  EXPECT_EQ(person.messages.input("c", "p", "初期値", 255), std::nullopt);
}

TEST(TerminalText, TitleAndWidths) {
  EXPECT_EQ(applicationTitle("/usr/bin/korvessian-cli"), "Korvessian-cli");
  EXPECT_EQ(applicationTitle("C/KORVESSIAN.EXE"), "Korvessian");
  EXPECT_EQ(applicationTitle("a.b.c"), "A");
  EXPECT_EQ(displayWidth("テープ"), 6);
  EXPECT_EQ(displayWidth("ｼﾞｭｰｸ"), 5);
  EXPECT_EQ(displayWidth("CD-ROM"), 6);
  EXPECT_EQ(padRight("未接続", 8), "未接続  ");
  EXPECT_EQ(displayText(std::string("AB\0\x83\x65", 5)), "AB テ");
}

}  // namespace
}  // namespace korv::cli
