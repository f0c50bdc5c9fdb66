// A second program on a folder, for the folder-lock tests: takes the lock of the folder
// named by its argument, prints "held" or "refused", keeps the lock until its input ends.
#include <cstdio>
#include <exception>

#include "base/FileSystem.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: np_lock_holder FOLDER\n");
    return 2;
  }
  try {
    np::LocalFileSystem files;
    auto lock = files.LockFolder(argv[1]);
    std::printf("%s\n", lock ? "held" : "refused");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
}
