// The new file of a restore takes its final name only when complete, whatever came to
// stand at that name while it was written.

#include "jobs/destination_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_files.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

TEST(DestinationFileTest, NameTakenWhileTheFileIsWrittenIsReplacedAtCommit) {
  TempDir dir;
  const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  {
    jobs::DestinationFile file;
    ASSERT_EQ(file.create(dirFd, "name", nullptr), 0);
    ASSERT_EQ(write(file.fd(), "restored", 8), 8);
    writeFile(dir.path() / "name", "came meanwhile");
    int error = 0;
    EXPECT_EQ(file.commit(error), jobs::DestinationFile::Commit::Done);
  }
  EXPECT_EQ(readFile(dir.path() / "name"), "restored");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
  close(dirFd);
}

}  // namespace
}  // namespace korv::test
