// The new file of a restore takes its final name only when complete, and meets whatever
// came to stand at that name while it was written as it meets what stood there before.

#include "jobs/destination_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "support/temp_dir.h"
#include "support/test_files.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using Commit = jobs::DestinationFile::Commit;

TEST(DestinationFileTest, WhatTurnsUpAtTheNameIsReplacedOnlyWhenItIsAFileOrALink) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> place;
    Commit commit;
    int error;  // when refused
  };
  const Case cases[] = {
      {"file", [](const fs::path& p) { writeFile(p, "came meanwhile"); }, Commit::Done, 0},
      {"link", [](const fs::path& p) { fs::create_symlink("elsewhere", p); }, Commit::Done, 0},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, Commit::RenameFailed, EISDIR},
      {"fifo", [](const fs::path& p) { mkfifo(p.c_str(), 0600); }, Commit::RenameFailed, EEXIST},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path name = dir.path() / "name";
    const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    {
      jobs::DestinationFile file;
      ASSERT_EQ(file.create(dirFd, "name", nullptr), 0) << c.what;
      ASSERT_EQ(write(file.fd(), "restored", 8), 8);
      c.place(name);
      int error = 0;
      EXPECT_EQ(file.commit(error), c.commit) << c.what;
      if (c.commit != Commit::Done) {
        EXPECT_EQ(error, c.error) << c.what;
      }
    }
    if (c.commit == Commit::Done) {
      EXPECT_EQ(readFile(name), "restored") << c.what;
    }
    // Nothing but the name is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1)
        << c.what;
    close(dirFd);
  }
}

// With an existing-file option on, a file that came to the name while the restored one was
// written stays, as one that stood there before would have: the new file is dropped.
TEST(DestinationFileTest, WhatTheOptionsKeepAtTheNameStaysAndTheNewFileGoes) {
  for (const bool stoodBefore : {false, true}) {
    TempDir dir;
    const fs::path name = dir.path() / "name";
    if (stoodBefore) writeFile(name, "older copy");
    const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    struct stat before {};
    const bool present = fstatat(dirFd, "name", &before, AT_SYMLINK_NOFOLLOW) == 0;
    {
      jobs::DestinationFile file;
      ASSERT_EQ(file.create(dirFd, "name", present ? &before : nullptr), 0);
      ASSERT_EQ(write(file.fd(), "restored", 8), 8);
      fs::remove(name);
      writeFile(name, "came meanwhile");
      int error = 0;
      int asked = 0;
      const auto stays = [&](const struct stat& st) {
        ++asked;
        return st.st_size == 14;  // the newcomer
      };
      EXPECT_EQ(file.commit(error, stays), Commit::NameKept) << stoodBefore;
      EXPECT_EQ(asked, 1);
    }
    EXPECT_EQ(readFile(name), "came meanwhile") << stoodBefore;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
    close(dirFd);
  }
}

}  // namespace
}  // namespace korv::test
