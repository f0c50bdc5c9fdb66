#include "host/indi/ImageFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/Errors.h"

namespace np::indi {
namespace {

std::string safeForFileName(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    out += (std::isalnum(c) || c == '-' || c == '+' || c == '.') ? static_cast<char>(c) : '_';
  }
  while (!out.empty() && out.front() == '.') out.erase(out.begin());
  return out.empty() ? std::string("target") : out;
}

std::string causeOf(int err) { return std::strerror(err); }

[[noreturn]] void failImage(const std::string& path, int err) {
  throw RunTimeError("cannot write the image '" + path + "': " + causeOf(err));
}

void writeAll(int fd, const std::vector<char>& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failImage(path, errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

// cfitsio rewrites the file through a descriptor of its own: it is synced once that is closed.
void syncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) failImage(path, errno);
  if (::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    failImage(path, err);
  }
  ::close(fd);
}

bool isFits(const std::string& format) {
  std::string lower = format;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == ".fits";
}

}  // namespace

std::string imageFileName(const std::string& localDate, const std::string& target, const std::string& filter,
                          int number, const std::string& format) {
  std::string name = localDate + "_" + safeForFileName(target);
  if (!filter.empty()) name += "_" + safeForFileName(filter);
  char digits[16];
  std::snprintf(digits, sizeof digits, "_%03d", number);
  name += digits;
  std::string extension = format.empty() ? std::string(".fits") : format;
  if (extension.front() != '.') extension.insert(extension.begin(), '.');
  return name + safeForFileName(extension.substr(1)).insert(0, ".");
}

std::string writeImageFile(const std::string& folder, const std::string& localDate, const std::string& target,
                           const std::string& filter, const ReceivedImage& image, const ImageHeader& header) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw RunTimeError("cannot make the image folder '" + folder + "': " + ec.message());
  const std::string part = folder + "/." + safeForFileName(target) + "-" + std::to_string(::getpid()) + ".part";
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) failImage(part, errno);
  try {
    writeAll(fd, image.bytes, part);
  } catch (...) {
    ::close(fd);
    ::unlink(part.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(part.c_str());
    failImage(part, err);
  }
  // The header is made right before the image is synced and shows under its name.
  try {
    if (isFits(image.format)) stampImageHeader(part, header);
    syncFile(part);
  } catch (...) {
    ::unlink(part.c_str());
    throw;
  }
  for (int number = 1;; ++number) {
    const std::string path = folder + "/" + imageFileName(localDate, target, filter, number, image.format);
    if (::link(part.c_str(), path.c_str()) == 0) {
      ::unlink(part.c_str());
      const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
      }
      return path;
    }
    if (errno != EEXIST || number >= 99999) {
      const int err = errno;
      ::unlink(part.c_str());
      failImage(path, err);
    }
  }
}

}  // namespace np::indi
