#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_files.h"
#include "sys/cp932.h"
#include "sys/ini.h"
#include "sys/options.h"

namespace korv {
namespace {

using test::readFile;
using test::writeFile;

std::string cp932(const char* utf8) {
  return utf8ToCp932(utf8).value();
}

TEST(ProfileInteger, FollowsTheProfileRules) {
  EXPECT_EQ(parseProfileInteger("0"), 0);
  EXPECT_EQ(parseProfileInteger("-12"), -12);
  EXPECT_EQ(parseProfileInteger("+7"), 7);
  EXPECT_EQ(parseProfileInteger("0x10"), 16);
  EXPECT_EQ(parseProfileInteger("0XfF"), 255);
  EXPECT_EQ(parseProfileInteger("$1A"), 26);
  EXPECT_EQ(parseProfileInteger("$FFFFFFFF"), -1);  // a 32-bit integer
  EXPECT_EQ(parseProfileInteger("2147483647"), 2147483647);
  EXPECT_EQ(parseProfileInteger("-2147483648"), -2147483648LL);
  for (const char* bad : {"", "yes", "0x", "$", "1.5", "12abc", "2147483648", "$100000000", "-"}) {
    EXPECT_FALSE(parseProfileInteger(bad)) << bad;
  }
}

TEST(Profile, ReadsSectionsAndKeysWithoutRegardToCase) {
  korv::test::TempDir dir;
  const auto path = (dir.path() / "a.ini").string();
  writeFile(path,
            "; comment\r\n[Other]\r\nkey=wrong\r\n[My Section]\r\n  Key = \"quoted value\" \r\n"
            "plain=1\r\n[my section]\r\nlater=never\r\n");
  EXPECT_EQ(readProfileString(path, "my section", "KEY"), "quoted value");
  EXPECT_EQ(readProfileString(path, "MY SECTION", "plain"), "1");
  EXPECT_EQ(readProfileString(path, "other", "key"), "wrong");
  EXPECT_FALSE(readProfileString(path, "my section", "later"));  // first section only
  EXPECT_FALSE(readProfileString(path, "missing", "key"));
  EXPECT_FALSE(readProfileString((dir.path() / "none.ini").string(), "s", "k"));
}

TEST(Profile, CaseFoldingLeavesCp932TrailBytesAlone) {
  korv::test::TempDir dir;
  const auto path = (dir.path() / "a.ini").string();
  // "ア" is 0x83 0x41 ('A' as trail byte), "ギ" is 0x83 0x61 ('a' as trail byte).
  writeFile(path, "[s]\n" + cp932("ア") + "=1\n");
  EXPECT_EQ(readProfileString(path, "s", cp932("ア")), "1");
  EXPECT_FALSE(readProfileString(path, "s", cp932("ギ")));
}

TEST(Profile, WritingKeepsOtherLinesAndTheFilesLineEnds) {
  korv::test::TempDir dir;
  const auto path = (dir.path() / "a.ini").string();
  writeFile(path, "; keep me\r\n[s]\r\nA=old\r\nB=2\r\n\r\n[t]\r\nA=other\r\n");
  ASSERT_TRUE(writeProfileString(path, "S", "a", "new"));
  ASSERT_TRUE(writeProfileString(path, "s", "C", "3"));
  ASSERT_TRUE(writeProfileString(path, "u", "D", "4"));
  EXPECT_EQ(readFile(path),
            "; keep me\r\n[s]\r\nA=new\r\nB=2\r\nC=3\r\n\r\n[t]\r\nA=other\r\n\r\n[u]\r\nD=4\r\n");
  // Nothing is left behind beside the file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(Profile, RefusesTextThatWouldBreakTheFile) {
  korv::test::TempDir dir;
  const auto path = (dir.path() / "a.ini").string();
  EXPECT_FALSE(writeProfileString(path, "s", "k", "two\nlines"));
  EXPECT_FALSE(writeProfileString(path, "s", "k=v", "1"));
  EXPECT_FALSE(writeProfileString(path, "s]", "k", "1"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Profile, WritesThroughASymbolicLinkToItsTarget) {
  korv::test::TempDir dir;
  const auto target = dir.path() / "real.ini";
  const auto link = dir.path() / "link.ini";
  writeFile(target, "[s]\nk=0\n");
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(writeProfileString(link.string(), "s", "k", "1"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFile(target), "[s]\nk=1\n");
}

TEST(Options, DefaultsWithoutAFile) {
  korv::test::TempDir dir;
  const Options options = loadOptions((dir.path() / "korvessian.ini").string());
  EXPECT_TRUE(options.rewindimm);
  EXPECT_TRUE(options.eoduse);
  EXPECT_TRUE(options.timecheck);
  EXPECT_FALSE(options.namecheck);
}

TEST(Options, FirstSaveWritesTheSectionAndTheFourKeysInCp932) {
  korv::test::TempDir dir;
  const auto path = dir.path() / "korvessian.ini";
  saveOptions(path.string(), Options{});
  EXPECT_EQ(readFile(path), "[SCSI_KORVESSIAN]\n" + cp932("巻き戻しのイミディエート") + "=1\n" +
                                cp932("EODコマンドの使用") + "=1\n" +
                                cp932("リストア時のタイムスタンプチェック") + "=1\n" +
                                cp932("リストア時の同名チェック") + "=0\n");
}

TEST(Options, ValuesReadByTheIntegerRule) {
  korv::test::TempDir dir;
  const auto path = dir.path() / "korvessian.ini";
  writeFile(path, "[scsi_korvessian]\n" + cp932("巻き戻しのイミディエート") + "=0\n" +
                      cp932("EODコマンドの使用") + "=yes\n" +
                      cp932("リストア時のタイムスタンプチェック") + "=\n" +
                      cp932("リストア時の同名チェック") + "=0x10\n");
  const Options options = loadOptions(path.string());
  EXPECT_FALSE(options.rewindimm);  // "0"
  EXPECT_TRUE(options.eoduse);      // a word: the default
  EXPECT_TRUE(options.timecheck);   // empty: the default
  EXPECT_TRUE(options.namecheck);   // 0x10 is non-zero
}

TEST(Options, WriteThenReadKeepsOtherSections) {
  korv::test::TempDir dir;
  const auto path = dir.path() / "korvessian.ini";
  writeFile(path, "[TAPE_BUS]\nadapter=virtual\n");
  const Options written{false, false, false, true};
  saveOptions(path.string(), written);
  const Options read = loadOptions(path.string());
  EXPECT_EQ(read.rewindimm, written.rewindimm);
  EXPECT_EQ(read.eoduse, written.eoduse);
  EXPECT_EQ(read.timecheck, written.timecheck);
  EXPECT_EQ(read.namecheck, written.namecheck);
  EXPECT_EQ(readProfileString(path.string(), "TAPE_BUS", "adapter"), "virtual");
}

TEST(Options, UnwritableFileThrowsWithItsPath) {
  korv::test::TempDir dir;
  // A path below a regular file cannot be written, whoever runs the test.
  writeFile(dir.path() / "plain", "");
  const std::string path = (dir.path() / "plain" / "korvessian.ini").string();
  try {
    saveOptions(path, Options{});
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), path + " に書き込めません");
  }
  // A folder in the file's place is not overwritten either.
  std::filesystem::create_directory(dir.path() / "korvessian.ini");
  EXPECT_THROW(saveOptions((dir.path() / "korvessian.ini").string(), Options{}),
               std::runtime_error);
}

TEST(Options, DefaultPathBesideAWritableExecutableFolder) {
  korv::test::TempDir dir;
  EXPECT_EQ(defaultOptionsPath((dir.path() / "korvessian").string()),
            (dir.path() / "korvessian.ini").string());
}

TEST(Options, DefaultPathFallsBackToTheConfigFolder) {
  korv::test::TempDir dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
  // No folder can be written below a regular file.
  writeFile(dir.path() / "plain", "");
  const std::string path =
      defaultOptionsPath((dir.path() / "plain" / "bin" / "korvessian").string());
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(path, (dir.path() / "config" / "korvessian" / "korvessian.ini").string());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "config" / "korvessian"));
}

}  // namespace
}  // namespace korv
