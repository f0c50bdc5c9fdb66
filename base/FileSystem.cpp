#include "base/FileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/Errors.h"

namespace np {
namespace {

std::string causeOf(int err) { return std::system_category().message(err); }

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
  throw RunTimeError(what + " '" + path + "': " + causeOf(err));
}

[[noreturn]] void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b,
                        int err) {
  throw RunTimeError(what + " '" + a + "' " + joiner + " '" + b + "': " + causeOf(err));
}

// A C string cannot carry a NUL: such a path names no file.
void checkPath(const std::string& what, const std::string& path) {
  if (path.find('\0') != std::string::npos) fail(what, path, EINVAL);
}

// 0 when the path names an existing entry that is not a folder, else the cause.
int notAFileCause(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return ENOENT;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? EISDIR : 0;
}

class LocalTextReader : public TextReader {
 public:
  LocalTextReader(std::FILE* f, std::string path) : f_(f), path_(std::move(path)) {}
  ~LocalTextReader() override {
    if (f_ != nullptr) std::fclose(f_);
  }

  bool AtEndOfStream() override {
    checkOpen();
    const int c = std::getc(f_);
    if (c == EOF) {
      checkReadError();
      return true;
    }
    std::ungetc(c, f_);
    return false;
  }

  std::string ReadLine() override {
    if (AtEndOfStream()) fail("Input past end of file", path_, EIO);
    std::string line;
    for (;;) {
      const int c = std::getc(f_);
      if (c == EOF) {
        checkReadError();
        return line;  // the last line, without a line end
      }
      if (c == '\n') break;
      if (c == '\r') {  // CR LF or a lone CR (as some editors save)
        const int next = std::getc(f_);
        if (next != '\n' && next != EOF) std::ungetc(next, f_);
        if (next == EOF) checkReadError();
        break;
      }
      line.push_back(static_cast<char>(c));
    }
    return line;
  }

  void Close() override {
    if (f_ == nullptr) return;
    std::FILE* f = f_;
    f_ = nullptr;
    std::fclose(f);  // nothing was written: a failure here loses nothing
  }

 private:
  void checkOpen() const {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
  }
  void checkReadError() {
    if (std::ferror(f_)) {
      const int err = errno != 0 ? errno : EIO;
      std::clearerr(f_);
      fail("Cannot read", path_, err);
    }
  }

  std::FILE* f_;
  std::string path_;
};

// How a writer's lines reach the disk.
enum class Durability {
  FlushEveryLine,  // a log: readable while a run goes on, no line lost to a crash
  SyncAtClose,     // a file that replaces another or is handed to the host: on disk at Close
};

class LocalTextWriter : public TextWriter {
 public:
  LocalTextWriter(std::FILE* f, std::string path, Durability durability)
      : f_(f), path_(std::move(path)), durability_(durability) {}
  ~LocalTextWriter() override {
    if (f_ != nullptr) std::fclose(f_);
  }

  void WriteLine(std::string_view text) override {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
    errno = 0;
    if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), f_) != text.size()) ||
        std::fwrite("\r\n", 1, 2, f_) != 2)
      fail("Cannot write", path_, errno != 0 ? errno : EIO);
    if (durability_ == Durability::FlushEveryLine && std::fflush(f_) != 0)
      fail("Cannot write", path_, errno != 0 ? errno : EIO);
  }

  void Close() override {
    if (f_ == nullptr) return;
    std::FILE* f = f_;
    f_ = nullptr;
    errno = 0;
    bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    if (flushed && durability_ == Durability::SyncAtClose && ::fsync(::fileno(f)) != 0) flushed = false;
    const int flushErr = errno != 0 ? errno : EIO;
    errno = 0;
    const bool closed = std::fclose(f) == 0;
    const int closeErr = errno != 0 ? errno : EIO;
    if (!flushed) fail("Cannot write", path_, flushErr);
    if (!closed) fail("Cannot close", path_, closeErr);
  }

 private:
  std::FILE* f_;
  std::string path_;
  Durability durability_;
};

std::FILE* openFile(const std::string& path, const char* mode, const std::string& what) {
  checkPath(what, path);
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (f == nullptr) fail(what, path, errno != 0 ? errno : EIO);
  return f;
}

// Writes the folder's entries (a rename, a new file) to disk. A file system that cannot
// sync a folder (EINVAL) has nothing more to offer; a real I/O failure is reported.
void syncFolderOf(const std::string& path, const std::string& what) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0 && err == EIO) fail(what, folder, err);
}

class LocalFileLock : public FileLock {
 public:
  explicit LocalFileLock(int fd) : fd_(fd) {}
  ~LocalFileLock() override { ::close(fd_); }  // closing the file releases the lock

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<TextReader> LocalFileSystem::OpenTextFile(const std::string& path) {
  static const std::string what = "Cannot open for reading";
  checkPath(what, path);
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) fail(what, path, errno != 0 ? errno : EIO);
  struct stat st {};
  if (::fstat(::fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    std::fclose(f);
    fail(what, path, err);
  }
  return std::make_unique<LocalTextReader>(f, path);
}

std::unique_ptr<TextWriter> LocalFileSystem::OpenTextFileForAppending(const std::string& path) {
  static const std::string what = "Cannot open for appending";
  std::FILE* f = openFile(path, "a+b", what);
  auto writer = std::make_unique<LocalTextWriter>(f, path, Durability::FlushEveryLine);
  // A file whose last line has no end (a write torn by a crash) gets one, so that the
  // next line does not run on from the torn one.
  if (std::fseek(f, -1, SEEK_END) == 0) {
    const int last = std::getc(f);
    std::fseek(f, 0, SEEK_END);  // switching from reading to writing needs a seek
    if (last != EOF && last != '\n') writer->WriteLine("");
  } else {
    std::fseek(f, 0, SEEK_END);
  }
  return writer;
}

std::unique_ptr<TextWriter> LocalFileSystem::CreateTextFile(const std::string& path) {
  return std::make_unique<LocalTextWriter>(openFile(path, "wb", "Cannot create"), path, Durability::SyncAtClose);
}

bool LocalFileSystem::FileExists(const std::string& path) noexcept { return notAFileCause(path) == 0; }

bool LocalFileSystem::FolderExists(const std::string& path) noexcept {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void LocalFileSystem::Remove(const std::string& path) {
  static const std::string what = "Cannot delete";
  if (const int err = notAFileCause(path); err != 0) fail(what, path, err);
  if (::unlink(path.c_str()) != 0) fail(what, path, errno);
}

void LocalFileSystem::Move(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot move";
  if (const int err = notAFileCause(from); err != 0) fail2(what, from, "to", to, err);
  checkPath(what, to);
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) fail2(what, from, "to", to, EEXIST);
  if (errno != ENOENT) fail2(what, from, "to", to, errno);
  if (std::rename(from.c_str(), to.c_str()) != 0) fail2(what, from, "to", to, errno);
}

void LocalFileSystem::Replace(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot replace";
  if (const int err = notAFileCause(from); err != 0) fail2(what, to, "with", from, err);
  checkPath(what, to);
  // The new file takes the old one's permissions (a private list stays private). When
  // that is not allowed, the content still matters more than the mode.
  struct stat old {};
  if (::stat(to.c_str(), &old) == 0 && S_ISREG(old.st_mode)) (void)::chmod(from.c_str(), old.st_mode & 07777);
  // rename(2) swaps the directory entry in one step: readers see the old file or the new.
  if (std::rename(from.c_str(), to.c_str()) != 0) fail2(what, to, "with", from, errno);
  syncFolderOf(to, what);
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

}  // namespace np
