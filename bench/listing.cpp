// The listing alone: every regular file below a folder, and the catalogue entry of each,
// as a backup makes them before the tape moves. Prints the number of files.
//
//   listing FOLDER

#include <cstdio>
#include <string>

#include "jobs/dirsearch.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: listing FOLDER\n");
    return 64;
  }
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  korv::jobs::FileList list;
  korv::jobs::dirsearch(folder, list);
  size_t named = 0;
  for (const auto& file : list) named += file.entry().name.empty() ? 0 : 1;
  std::printf("%zu files\n", named);
  return 0;
}
