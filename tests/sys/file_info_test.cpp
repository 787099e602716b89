#include "sys/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "sys/datetime.h"

namespace korv {
namespace {

namespace fs = std::filesystem;

void setTimes(const fs::path& path, std::time_t access, std::time_t write) {
  const timespec times[2] = {{access, 0}, {write, 500000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
  }
  korv::test::TempDir dir;
};

TEST_F(FileInfoTest, RegularFileRecord) {
  const fs::path file = dir.path() / "表ソ.txt";
  std::ofstream(file) << "12345";
  setTimes(file, 946684800, 946684801);  // 2000-01-01 09:00:00 / :01 in Tokyo
  std::error_code ec;
  const auto info = readFileInfo(file.string(), ec);
  ASSERT_TRUE(info) << ec.message();
  EXPECT_TRUE(info->isRegularFile());
  EXPECT_TRUE(info->nameFitsCp932);
  EXPECT_EQ(info->size, 5u);
  EXPECT_EQ(info->findData.sizeLow, 5u);
  EXPECT_EQ(info->findData.sizeHigh, 0u);
  EXPECT_EQ(info->findData.attributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(info->findData.fileName, "\x95\x5C\x83\x5C.txt");
  EXPECT_EQ(info->findData.shortName, "");
  EXPECT_EQ(info->findData.lastAccessTime, 125911584000000000ull);
  EXPECT_EQ(info->findData.lastWriteTime, 125911584015000000ull);
  EXPECT_NE(info->findData.creationTime, 0u);  // birth time, or the last write without one
  EXPECT_EQ(formatPacked(info->packedLastWrite), "2000-01-01 09:00:00");
}

TEST_F(FileInfoTest, ReadOnlyAndHiddenAttributes) {
  const fs::path file = dir.path() / ".hidden";
  std::ofstream(file) << "x";
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_write | fs::perms::others_write);
  std::error_code ec;
  const auto info = readFileInfo(file.string(), ec);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->findData.attributes,
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(FileInfoTest, NameWithoutCp932FormIsReportedNotStored) {
  const fs::path file = dir.path() / "naïve😀";
  std::ofstream(file) << "x";
  std::error_code ec;
  const auto info = readFileInfo(file.string(), ec);
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->nameFitsCp932);
  EXPECT_EQ(info->findData.fileName, "");
}

TEST_F(FileInfoTest, LinksAndSpecialFilesAreNotRegular) {
  const fs::path target = dir.path() / "target";
  std::ofstream(target) << "data";
  fs::create_symlink(target, dir.path() / "link");
  fs::create_directory(dir.path() / "folder");
  ASSERT_EQ(mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  std::error_code ec;
  const auto link = readFileInfo((dir.path() / "link").string(), ec);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->kind, FileKind::Other);
  const auto folder = readFileInfo((dir.path() / "folder/").string(), ec);
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->kind, FileKind::Directory);
  EXPECT_EQ(folder->findData.fileName, "folder");
  const auto fifo = readFileInfo((dir.path() / "fifo").string(), ec);
  ASSERT_TRUE(fifo);
  EXPECT_EQ(fifo->kind, FileKind::Other);
  EXPECT_FALSE(readFileInfo((dir.path() / "missing").string(), ec));
  EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
}

TEST_F(FileInfoTest, RestoreSideMetadata) {
  const fs::path file = dir.path() / "restored";
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  std::error_code ec;
  const uint64_t access = 125911584000000000ull;  // 2000-01-01T00:00:00Z
  const uint64_t write = access + 12345678;       // 1.2345678 s later
  EXPECT_TRUE(applyFileTimes(fd, access, write, ec)) << ec.message();
  EXPECT_TRUE(applyReadOnly(fd, ec));
  close(fd);
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 946684800);
  EXPECT_EQ(st.st_mtim.tv_sec, 946684801);
  EXPECT_EQ(st.st_mtim.tv_nsec, 234567800);
  EXPECT_EQ(st.st_mode & 0777, 0444u);

  // A zero time is unknown and leaves that time alone.
  const int again = open(file.c_str(), O_RDONLY);
  EXPECT_TRUE(applyFileTimes(again, 0, access, ec));
  close(again);
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 946684800);
  EXPECT_EQ(st.st_mtim.tv_sec, 946684800);

  EXPECT_TRUE(makeOwnerWritable(file.string(), ec));
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(FileInfoTest, MakeWritableNeverFollowsALink) {
  const fs::path target = dir.path() / "target";
  std::ofstream(target) << "x";
  fs::permissions(target, fs::perms::owner_read);
  fs::create_symlink(target, dir.path() / "link");
  std::error_code ec;
  EXPECT_FALSE(makeOwnerWritable((dir.path() / "link").string(), ec));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::owner_write, fs::perms::none);
}

}  // namespace
}  // namespace korv
