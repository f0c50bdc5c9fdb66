// The file system on POSIX systems (Linux): the platform's half of LocalFileSystem.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/FileSystem.h"
#include "base/LocalFiles.h"

namespace np {

namespace localfiles {

std::FILE* openPath(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* openForReading(const std::string& path, const std::string& what) { return openFile(path, "rb", what); }

std::string existingFileCause(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return causeOf(errno);
  return S_ISDIR(st.st_mode) ? causeOf(EISDIR) : std::string();
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string syncFile(std::FILE* f) {
  return ::fsync(::fileno(f)) == 0 ? std::string() : causeOf(errno != 0 ? errno : EIO);
}

std::string deleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? std::string() : causeOf(errno); }

std::string moveFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return causeOf(EEXIST);
  if (errno != ENOENT) return causeOf(errno);
  if (std::rename(from.c_str(), to.c_str()) != 0) return causeOf(errno);
  return {};
}

std::string makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return {};
  const int err = errno;
  return err == EEXIST && isFolder(path) ? std::string() : causeOf(err);
}

// A file system that cannot sync a folder (EINVAL) has nothing more to offer; a real I/O
// failure is reported.
void syncFolderOf(const std::string& path, const std::string& what) {
  const std::string parent = std::filesystem::path(path).parent_path().string();
  const std::string folder = parent.empty() ? std::string(".") : parent;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0 && err == EIO) fail(what, folder, err);
}

}  // namespace localfiles

using namespace localfiles;

namespace {

// Gives `from` the name `to` unless `to` exists: 0, EEXIST, or the error. A file system
// that has no such rename (EINVAL) still has hard links: the second name is made, then
// the first removed.
int moveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  (void)::unlink(from.c_str());  // left behind, the first name is only a second one
  return 0;
}

class LocalFileLock : public FileLock {
 public:
  explicit LocalFileLock(int fd) : fd_(fd) {}
  ~LocalFileLock() override { ::close(fd_); }  // closing the file releases the lock

 private:
  int fd_;
};

}  // namespace

void LocalFileSystem::Replace(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot replace";
  if (const std::string cause = notAFileCause(from); !cause.empty()) fail2(what, to, "with", from, cause);
  checkPath(what, to);
  // The new file takes the old one's permissions (a private list stays private). When
  // that is not allowed, the content still matters more than the mode.
  struct stat old {};
  if (::stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) (void)::chmod(from.c_str(), old.st_mode & 07777);
  // rename(2) swaps the directory entry in one step: readers see the old file or the new.
  if (std::rename(from.c_str(), to.c_str()) != 0) fail2(what, to, "with", from, errno);
  if (sync_ == DiskSync::Always) syncFolderOf(to, what);
}

bool LocalFileSystem::Publish(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot publish";
  if (const std::string cause = notAFileCause(from); !cause.empty()) fail2(what, from, "as", to, cause);
  checkPath(what, to);
  const int err = moveWithoutReplacing(from, to);
  if (err == EEXIST) return false;
  if (err != 0) fail2(what, from, "as", to, err);
  if (sync_ == DiskSync::Always) syncFolderOf(to, what);
  return true;
}

std::string LocalFileSystem::ResolvedPath(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_symlink(path, ec)) return path;
  const std::filesystem::path target = std::filesystem::canonical(path, ec);
  return ec ? path : target.string();
}

std::unique_ptr<FileLock> LocalFileSystem::LockFolder(const std::string& folder) {
  static const std::string what = "Cannot lock the folder";
  checkPath(what, folder);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) fail(what, folder, errno);
  // flock locks belong to the open folder: a second open, in this process or another,
  // cannot take it while this one holds it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return nullptr;
    fail(what, folder, err);
  }
  return std::make_unique<LocalFileLock>(fd);
}

std::vector<std::string> LocalFileSystem::FileNames(const std::string& folder) {
  static const std::string what = "Cannot list the folder";
  checkPath(what, folder);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) fail(what, folder, errno);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) names.emplace_back(entry->d_name);
    errno = 0;
  }
  const int err = errno;
  ::closedir(dir);
  if (err != 0) fail(what, folder, err);
  return names;
}

}  // namespace np
