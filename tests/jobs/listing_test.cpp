// The source listing and the destination paths of a restore.

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "jobs/dirsearch.h"
#include "jobs/restore_path.h"
#include "run_fixture.h"
#include "sys/cp932.h"
#include "sys/finddata.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

// The order a depth-first walk in directory order gives, computed independently.
void expectedOrder(const std::string& folder, std::vector<std::string>& out) {
  DIR* d = opendir(folder.c_str());
  ASSERT_NE(d, nullptr);
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + name;
    struct stat st {};
    lstat(path.c_str(), &st);
    if (S_ISDIR(st.st_mode)) expectedOrder(path + "/", out);
    if (S_ISREG(st.st_mode)) out.push_back(path);
  }
  closedir(d);
}

TEST(ListingTest, RegularFilesInDirectoryOrderFoldersDepthFirst) {
  TempDir dir;
  const fs::path src = dir.path() / "src";
  for (const char* name : {"a", "b", "s/c", "s/t/d", "e", "u/f", ".hidden"})
    writeFile(src / name, name);
  fs::create_directories(src / "empty");
  fs::create_symlink(src / "a", src / "link");
  fs::create_directory_symlink(src, src / "loop");  // would loop if followed
  ASSERT_EQ(mkfifo((src / "fifo").c_str(), 0600), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (src / "s/sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(sock);
  fs::permissions(src / "a", fs::perms::owner_read);

  jobs::FileList list;
  jobs::LeftOutList leftOut;
  jobs::dirsearch(src.string() + "/", list, nullptr, &leftOut);
  std::vector<std::string> expected;
  expectedOrder(src.string() + "/", expected);
  std::vector<std::string> paths;
  for (const auto& item : list) paths.push_back(item.path());
  EXPECT_EQ(paths, expected);
  ASSERT_EQ(list.size(), 7u);

  for (const auto& item : list) {
    EXPECT_EQ(cp932ToUtf8(item.entry().name), item.path());
    const FindData fd = decodeFindData(item.entry().finddata);
    EXPECT_EQ(fd.attributes, item.entry().attributes);
    EXPECT_EQ(fd.sizeLow, item.size);
    EXPECT_EQ(fd.fileName, fs::path(item.path()).filename().string());
    const bool hidden = fd.fileName[0] == '.';
    const bool readOnly = item.path() == (src / "a").string();
    EXPECT_EQ(fd.attributes, FILE_ATTRIBUTE_ARCHIVE | (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) |
                                 (readOnly ? FILE_ATTRIBUTE_READONLY : 0))
        << item.path();
  }

  // What was passed over, each with its line (devices need root to make: not here).
  std::map<std::string, std::string> lines;
  for (const auto& entry : leftOut) lines[entry.path] = jobs::leftOutLine(entry);
  const std::string s = src.string();
  EXPECT_EQ(lines, (std::map<std::string, std::string>{
                       {s + "/link", s + "/linkはシンボリックリンクの為バックアップしません"},
                       {s + "/loop", s + "/loopはシンボリックリンクの為バックアップしません"},
                       {s + "/fifo", s + "/fifoは名前付きパイプの為バックアップしません"},
                       {s + "/s/sock", s + "/s/sockはソケットの為バックアップしません"}}));
  EXPECT_EQ(jobs::leftOutLine({"/dev/x", jobs::LeftOutEntry::Kind::Device}),
            "/dev/xはデバイスファイルの為バックアップしません");
}

// Large folders are read in batches and examined on two threads: the order and the
// entries must come out as from one walk, also with folders among the files.
TEST(ListingTest, LargeFoldersKeepDirectoryOrderAcrossBatches) {
  TempDir dir;
  const fs::path src = dir.path() / "src";
  for (int i = 0; i < 700; ++i) {
    const std::string name = "f" + std::to_string(i);
    writeFile(src / (i % 150 == 7 ? "sub" + std::to_string(i) + "/" + name : name),
              std::string(static_cast<size_t>(i % 5), 'x'));
  }
  jobs::FileList list;
  jobs::dirsearch(src.string() + "/", list);
  std::vector<std::string> expected;
  expectedOrder(src.string() + "/", expected);
  std::vector<std::string> paths;
  for (const auto& item : list) {
    paths.push_back(item.path());
    EXPECT_EQ(item.size, fs::file_size(item.path()));
  }
  EXPECT_EQ(paths, expected);
  EXPECT_EQ(paths.size(), 700u);
}

TEST(ListingTest, FolderThatCannotBeSearchedIsReported) {
  std::vector<std::string> unsearchable;
  jobs::FileList list;
  jobs::dirsearch("/nonexistent-korv/", list, &unsearchable);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(unsearchable, std::vector<std::string>{"/nonexistent-korv/"});
}

TEST(RestorePathTest, RootIsStrippedAndWindowsSeparatorsMappedAfterDecoding) {
  const auto map = [](const std::string& utf8) { return jobs::mapRestorePath(*utf8ToCp932(utf8)); };
  EXPECT_EQ(map("/home/u/a.txt").relative, "home/u/a.txt");
  const auto win = map("C:\\ソフト\\表.txt");  // both end in the byte 0x5C in CP932
  EXPECT_EQ(win.folders, std::vector<std::string>{"ソフト"});
  EXPECT_EQ(win.fileName, "表.txt");
  EXPECT_EQ(map("\\\\server\\share\\x").relative, "server/share/x");
  EXPECT_EQ(map("/a/./b//c").relative, "a/b/c");
  // On a Linux path a backslash is part of a name.
  EXPECT_EQ(map("/a\\b").relative, "a\\b");
  using R = jobs::RestoreTarget::Refusal;
  EXPECT_EQ(map("/a/../b").refusal, R::ClimbsOut);
  EXPECT_EQ(map("C:\\a\\..\\..\\b").refusal, R::ClimbsOut);
  EXPECT_EQ(map("C:\\").refusal, R::Empty);
  EXPECT_EQ(map("").refusal, R::Empty);
  EXPECT_EQ(jobs::joinDestination("/out", "a"), "/out/a");
  EXPECT_EQ(jobs::joinDestination("/out/", "a"), "/out/a");
}

}  // namespace
}  // namespace korv::test
