#include "host/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "host/Errors.h"

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
      line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
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

class LocalTextWriter : public TextWriter {
 public:
  // A log opened for appending is flushed line by line, so that it can be read while a
  // run goes on and a crash loses no line already written.
  LocalTextWriter(std::FILE* f, std::string path, bool flushEveryLine)
      : f_(f), path_(std::move(path)), flushEveryLine_(flushEveryLine) {}
  ~LocalTextWriter() override {
    if (f_ != nullptr) std::fclose(f_);
  }

  void WriteLine(std::string_view text) override {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
    errno = 0;
    if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), f_) != text.size()) ||
        std::fwrite("\r\n", 1, 2, f_) != 2)
      fail("Cannot write", path_, errno != 0 ? errno : EIO);
    if (flushEveryLine_ && std::fflush(f_) != 0) fail("Cannot write", path_, errno != 0 ? errno : EIO);
  }

  void Close() override {
    if (f_ == nullptr) return;
    std::FILE* f = f_;
    f_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
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
  bool flushEveryLine_;
};

std::unique_ptr<TextWriter> openWriter(const std::string& path, const char* mode, const char* what,
                                       bool flushEveryLine) {
  checkPath(what, path);
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), mode);
  if (f == nullptr) fail(what, path, errno != 0 ? errno : EIO);
  return std::make_unique<LocalTextWriter>(f, path, flushEveryLine);
}

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
  return openWriter(path, "ab", "Cannot open for appending", true);
}

std::unique_ptr<TextWriter> LocalFileSystem::CreateTextFile(const std::string& path) {
  return openWriter(path, "wb", "Cannot create", false);
}

bool LocalFileSystem::FileExists(const std::string& path) noexcept { return notAFileCause(path) == 0; }

bool LocalFileSystem::FolderExists(const std::string& path) noexcept {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void LocalFileSystem::DeleteFile(const std::string& path) {
  static const std::string what = "Cannot delete";
  if (const int err = notAFileCause(path); err != 0) fail(what, path, err);
  if (::unlink(path.c_str()) != 0) fail(what, path, errno);
}

void LocalFileSystem::MoveFile(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot move";
  if (const int err = notAFileCause(from); err != 0) fail2(what, from, "to", to, err);
  checkPath(what, to);
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) fail2(what, from, "to", to, EEXIST);
  if (errno != ENOENT) fail2(what, from, "to", to, errno);
  if (std::rename(from.c_str(), to.c_str()) != 0) fail2(what, from, "to", to, errno);
}

void LocalFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot replace";
  if (const int err = notAFileCause(from); err != 0) fail2(what, to, "with", from, err);
  checkPath(what, to);
  // rename(2) swaps the directory entry in one step: readers see the old file or the new.
  if (std::rename(from.c_str(), to.c_str()) != 0) fail2(what, to, "with", from, errno);
}

}  // namespace np
