#include "host/indi/LibraryOutput.h"

#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <mutex>

namespace np::indi {

bool divertLibraryOutput(const std::string& path) {
  static std::mutex once;
  // Kept to the end of the process: std::cerr may be written to until then.
  static __gnu_cxx::stdio_filebuf<char>* ownError = nullptr;
  std::lock_guard lock(once);
  if (ownError) return true;
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (file < 0) return false;
  const int original = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (original < 0) {
    ::close(file);
    return false;
  }
  std::cerr.flush();
  std::fflush(stderr);
  ownError = new __gnu_cxx::stdio_filebuf<char>(original, std::ios::out);
  std::cerr.rdbuf(ownError);
  ::dup2(file, STDERR_FILENO);
  ::close(file);
  return true;
}

}  // namespace np::indi
