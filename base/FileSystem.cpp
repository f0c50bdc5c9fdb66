#include "base/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <chrono>
#include <thread>
#include <vector>
#else
#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "base/Errors.h"

namespace np {
namespace {

// The C library's text for an errno value. (On Windows, std::system_category() takes its
// argument for a Windows error code: ENOSPC would read "The printer is out of paper".)
std::string causeOf(int err) { return std::generic_category().message(err); }

[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& cause) {
  throw RunTimeError(what + " '" + path + "': " + cause);
}
[[noreturn]] void fail(const std::string& what, const std::string& path, int err) { fail(what, path, causeOf(err)); }

[[noreturn]] void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b,
                        const std::string& cause) {
  throw RunTimeError(what + " '" + a + "' " + joiner + " '" + b + "': " + cause);
}
[[noreturn]] void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b,
                        int err) {
  fail2(what, a, joiner, b, causeOf(err));
}

#ifdef _WIN32
// A Windows error as the same text the Linux build gives for its errno counterpart, so
// that messages read alike on both; the others in Windows's own words.
std::string winCause(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return causeOf(ENOENT);
    case ERROR_ACCESS_DENIED:
      return causeOf(EACCES);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return causeOf(EEXIST);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return causeOf(ENOSPC);
    case ERROR_NOT_SAME_DEVICE:
      return causeOf(EXDEV);
    case ERROR_DIRECTORY:
      return causeOf(ENOTDIR);
    case ERROR_WRITE_PROTECT:
      return causeOf(EROFS);
    case ERROR_NO_UNICODE_TRANSLATION:
      return causeOf(EINVAL);
    default: {
      std::string text = std::system_category().message(static_cast<int>(err));
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
      return text.empty() ? "Windows error " + std::to_string(err) : text;
    }
  }
}

// Narrow paths are in the ANSI code page, as the C library's own file functions take
// them; the wide Windows functions need them in UTF-16. An empty result stands for a
// path that cannot be converted (it names no file).
std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// The path in the ANSI code page; empty when some character has no counterpart there.
std::string narrow(const std::wstring& w) {
  if (w.empty()) return {};
  BOOL lossy = FALSE;
  const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, &lossy);
  if (n <= 0 || lossy) return {};
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        &lossy);
  return lossy ? std::string() : s;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (valid()) ::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// The entry itself, or with `follow` the entry a reparse point (a symbolic link, a
// junction) leads to, opened for its attributes only; every sharing allowed.
HANDLE openForAttributes(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The attributes of what the path leads to, links followed; 0 and the error when there
// is nothing there.
DWORD attributesOf(const std::string& path, DWORD* error) {
  *error = ERROR_FILE_NOT_FOUND;
  const std::wstring w = widen(path);
  if (w.empty()) return 0;
  DWORD attrs = ::GetFileAttributesW(w.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    *error = ::GetLastError();
    return 0;
  }
  if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {  // the link's own attributes: ask its target
    Handle h(openForAttributes(w));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info)) {
      *error = ::GetLastError();
      return 0;
    }
    attrs = info.dwFileAttributes;
  }
  *error = 0;
  return attrs;
}

bool isFolder(const std::string& path) {
  DWORD error = 0;
  const DWORD attrs = attributesOf(path, &error);
  return error == 0 && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
#endif

// A C string cannot carry a NUL: such a path names no file.
void checkPath(const std::string& what, const std::string& path) {
  if (path.find('\0') != std::string::npos) fail(what, path, EINVAL);
}

// Empty when the path names an existing entry that is not a folder, else the cause.
std::string notAFileCause(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return causeOf(ENOENT);
#ifdef _WIN32
  DWORD error = 0;
  const DWORD attrs = attributesOf(path, &error);
  if (error != 0) return winCause(error);
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? causeOf(EISDIR) : std::string();
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return causeOf(errno);
  return S_ISDIR(st.st_mode) ? causeOf(EISDIR) : std::string();
#endif
}

// Writes a file's data to the disk; empty on success, else the cause.
std::string syncFile(std::FILE* f) {
#ifdef _WIN32
  const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(f)));
  if (h == INVALID_HANDLE_VALUE) return causeOf(EBADF);
  return ::FlushFileBuffers(h) ? std::string() : winCause(::GetLastError());
#else
  return ::fsync(::fileno(f)) == 0 ? std::string() : causeOf(errno != 0 ? errno : EIO);
#endif
}

// Reads the file in blocks and takes the lines out of the block.
class LocalTextReader : public TextReader {
 public:
  LocalTextReader(std::FILE* f, std::string path) : f_(f), path_(std::move(path)) {}
  ~LocalTextReader() override {
    if (f_ != nullptr) std::fclose(f_);
  }

  bool AtEndOfStream() override {
    checkOpen();
    return next_ == end_ && !refill();
  }

  std::string ReadLine() override {
    if (AtEndOfStream()) fail("Input past end of file", path_, EIO);
    std::string line;
    for (;;) {
      const char* from = buffer_ + next_;
      const char* stop = from;
      const char* const last = buffer_ + end_;
      while (stop != last && *stop != '\n' && *stop != '\r') ++stop;
      line.append(from, static_cast<std::size_t>(stop - from));
      next_ = static_cast<std::size_t>(stop - buffer_);
      if (stop == last) {
        if (!refill()) return line;  // the last line, without a line end
        continue;
      }
      ++next_;
      if (*stop == '\r' && (next_ != end_ || refill()) && buffer_[next_] == '\n') ++next_;  // CR LF, or a lone CR
      return line;
    }
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
  // The next block of the file; false at its end.
  bool refill() {
    next_ = 0;
    end_ = std::fread(buffer_, 1, sizeof buffer_, f_);
    if (end_ == 0 && std::ferror(f_)) {
      const int err = errno != 0 ? errno : EIO;
      std::clearerr(f_);
      fail("Cannot read", path_, err);
    }
    return end_ != 0;
  }

  std::FILE* f_;
  std::string path_;
  char buffer_[16 * 1024];
  std::size_t next_ = 0, end_ = 0;
};

// How a writer's lines reach the disk.
enum class Durability {
  Buffered,     // a log: lines reach the file at Flush and Close
  SyncAtClose,  // a file that replaces another or is handed to the host: on disk at Close
};

// A log's buffer: a selection pass over a long list writes many lines between flushes.
constexpr std::size_t kLogBufferBytes = 64 * 1024;

class LocalTextWriter : public TextWriter {
 public:
  LocalTextWriter(std::FILE* f, std::string path, Durability durability)
      : f_(f), path_(std::move(path)), durability_(durability) {
    if (durability_ == Durability::Buffered) std::setvbuf(f_, nullptr, _IOFBF, kLogBufferBytes);
  }
  ~LocalTextWriter() override {
    if (f_ != nullptr) std::fclose(f_);
  }

  void WriteLine(std::string_view text) override {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
    errno = 0;
    if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), f_) != text.size()) ||
        std::fwrite("\r\n", 1, 2, f_) != 2)
      fail("Cannot write", path_, errno != 0 ? errno : EIO);
  }

  void Flush() override {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
    errno = 0;
    if (std::fflush(f_) != 0) fail("Cannot write", path_, errno != 0 ? errno : EIO);
  }

  void Close() override {
    if (f_ == nullptr) return;
    std::FILE* f = f_;
    f_ = nullptr;
    errno = 0;
    std::string flushCause;
    if (std::fflush(f) != 0 || std::ferror(f))
      flushCause = causeOf(errno != 0 ? errno : EIO);
    else if (durability_ == Durability::SyncAtClose)
      flushCause = syncFile(f);
    errno = 0;
    const bool closed = std::fclose(f) == 0;
    const int closeErr = errno != 0 ? errno : EIO;
    if (!flushCause.empty()) fail("Cannot write", path_, flushCause);
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
#ifdef _WIN32
  const std::wstring w = widen(path);
  if (w.empty()) fail(what, path, ENOENT);
  std::FILE* f = ::_wfopen(w.c_str(), widen(mode).c_str());
  // Windows refuses to open a folder as a file with EACCES: say what Linux says.
  if (f == nullptr && errno == EACCES && isFolder(path)) errno = EISDIR;
#else
  std::FILE* f = std::fopen(path.c_str(), mode);
#endif
  if (f == nullptr) fail(what, path, errno != 0 ? errno : EIO);
  return f;
}

#ifdef _WIN32
// A file opened for reading that does not stand in the way of a Replace or Remove of it
// (FILE_SHARE_DELETE): as on Linux, a reader goes on reading the file it opened.
std::FILE* openForReading(const std::string& path, const std::string& what) {
  checkPath(what, path);
  const std::wstring w = widen(path);
  if (w.empty()) fail(what, path, ENOENT);
  HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_ACCESS_DENIED && isFolder(path)) fail(what, path, EISDIR);
    fail(what, path, winCause(err));
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(h);
    fail(what, path, EMFILE);
  }
  std::FILE* f = ::_fdopen(fd, "rb");
  if (f == nullptr) {
    const int err = errno != 0 ? errno : EMFILE;
    ::_close(fd);
    fail(what, path, err);
  }
  return f;
}
#endif

// Writes the folder's entries (a rename, a new file) to disk. A file system that cannot
// sync a folder (EINVAL) has nothing more to offer; a real I/O failure is reported.
// Windows has no such call, and needs none: its renames are made with
// MOVEFILE_WRITE_THROUGH, which returns once the change of entry is on disk.
#ifndef _WIN32
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
#endif

#ifdef _WIN32
// The lock is a named mutex whose name is the folder's identity (its volume and its
// file index), so that every spelling of the folder (a trailing separator, a short name,
// another drive letter for the same share) meets the same lock. The system destroys
// the mutex with the last handle to it, however the process ends, and the folder
// itself is not touched: a read-only folder can be locked too.
class LocalFileLock : public FileLock {
 public:
  explicit LocalFileLock(HANDLE mutex) : mutex_(mutex) {}
  ~LocalFileLock() override { ::CloseHandle(mutex_); }

 private:
  HANDLE mutex_;
};
#else
class LocalFileLock : public FileLock {
 public:
  explicit LocalFileLock(int fd) : fd_(fd) {}
  ~LocalFileLock() override { ::close(fd_); }  // closing the file releases the lock

 private:
  int fd_;
};
#endif

}  // namespace

std::unique_ptr<TextReader> LocalFileSystem::OpenTextFile(const std::string& path) {
  static const std::string what = "Cannot open for reading";
#ifdef _WIN32
  std::FILE* f = openForReading(path, what);
#else
  std::FILE* f = openFile(path, "rb", what);
#endif
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
  auto writer = std::make_unique<LocalTextWriter>(f, path, Durability::Buffered);
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

bool LocalFileSystem::FileExists(const std::string& path) noexcept {
  try {
    return notAFileCause(path).empty();
  } catch (...) {  // no memory for a message: no file that can be used either
    return false;
  }
}

bool LocalFileSystem::FolderExists(const std::string& path) noexcept {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
#ifdef _WIN32
  try {
    return isFolder(path);
  } catch (...) {
    return false;
  }
#else
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
#endif
}

void LocalFileSystem::Remove(const std::string& path) {
  static const std::string what = "Cannot delete";
  if (const std::string cause = notAFileCause(path); !cause.empty()) fail(what, path, cause);
#ifdef _WIN32
  if (!::DeleteFileW(widen(path).c_str())) fail(what, path, winCause(::GetLastError()));
#else
  if (::unlink(path.c_str()) != 0) fail(what, path, errno);
#endif
}

void LocalFileSystem::Move(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot move";
  if (const std::string cause = notAFileCause(from); !cause.empty()) fail2(what, from, "to", to, cause);
  checkPath(what, to);
#ifdef _WIN32
  // Without MOVEFILE_REPLACE_EXISTING the move itself refuses an existing target.
  const std::wstring wto = widen(to);
  if (wto.empty()) fail2(what, from, "to", to, ENOENT);
  if (!::MoveFileExW(widen(from).c_str(), wto.c_str(), MOVEFILE_WRITE_THROUGH))
    fail2(what, from, "to", to, winCause(::GetLastError()));
#else
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) fail2(what, from, "to", to, EEXIST);
  if (errno != ENOENT) fail2(what, from, "to", to, errno);
  if (std::rename(from.c_str(), to.c_str()) != 0) fail2(what, from, "to", to, errno);
#endif
}

#ifdef _WIN32
// How long Replace waits for another program (a virus scanner, an editor, a backup) to
// let go of the file it replaces.
constexpr std::chrono::milliseconds kReplaceRetryFor{2000};
constexpr std::chrono::milliseconds kReplaceRetryStep{50};

// True when another open of the file stands in the way of deleting it.
static bool heldByAnother(const std::wstring& path) {
  Handle h(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return !h.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

void LocalFileSystem::Replace(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot replace";
  if (const std::string cause = notAFileCause(from); !cause.empty()) fail2(what, to, "with", from, cause);
  checkPath(what, to);
  const std::wstring wfrom = widen(from), wto = widen(to);
  if (wto.empty()) fail2(what, to, "with", from, ENOENT);
  // Refusals that waiting cannot cure are reported at once.
  if (const DWORD attrs = ::GetFileAttributesW(wto.c_str()); attrs != INVALID_FILE_ATTRIBUTES) {
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) fail2(what, to, "with", from, EISDIR);
    if (attrs & FILE_ATTRIBUTE_READONLY) fail2(what, to, "with", from, EACCES);
  }
  // The new file lies beside the old one, so it carries the same inherited permissions.
  // MoveFileExW swaps the folder entry in one step (readers see the old file or the
  // new) and, with MOVEFILE_WRITE_THROUGH, returns once the change is on disk. A file
  // that another program holds open without FILE_SHARE_DELETE cannot be replaced until
  // it lets go.
  const auto deadline = std::chrono::steady_clock::now() + kReplaceRetryFor;
  for (;;) {
    if (::MoveFileExW(wfrom.c_str(), wto.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return;
    DWORD err = ::GetLastError();
    const bool held = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_LOCK_VIOLATION;
    if (held && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kReplaceRetryStep);
      continue;
    }
    // A refusal that is another program's open file says so, not "Permission denied".
    if (err == ERROR_ACCESS_DENIED && heldByAnother(wto)) err = ERROR_SHARING_VIOLATION;
    fail2(what, to, "with", from, winCause(err));
  }
}

std::string LocalFileSystem::ResolvedPath(const std::string& path) {
  const std::wstring w = widen(path);
  if (w.empty()) return path;
  const DWORD attrs = ::GetFileAttributesW(w.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  Handle h(openForAttributes(w));  // opening follows the link; a dangling one fails
  if (!h.valid()) return path;
  std::vector<wchar_t> buf(MAX_PATH);
  DWORD n = ::GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= buf.size()) return path;
  std::wstring target(buf.data(), n);
  // The answer comes in the \\?\ form: back to an ordinary path.
  if (target.rfind(L"\\\\?\\UNC\\", 0) == 0)
    target = L"\\\\" + target.substr(8);
  else if (target.rfind(L"\\\\?\\", 0) == 0)
    target = target.substr(4);
  const std::string resolved = narrow(target);
  return resolved.empty() ? path : resolved;
}

std::unique_ptr<FileLock> LocalFileSystem::LockFolder(const std::string& folder) {
  static const std::string what = "Cannot lock the folder";
  checkPath(what, folder);
  const std::wstring w = widen(folder);
  if (w.empty()) fail(what, folder, ENOENT);
  BY_HANDLE_FILE_INFORMATION info{};
  {
    Handle h(openForAttributes(w));
    if (!h.valid()) fail(what, folder, winCause(::GetLastError()));
    if (!::GetFileInformationByHandle(h.get(), &info)) fail(what, folder, winCause(::GetLastError()));
  }
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) fail(what, folder, ENOTDIR);
  wchar_t name[96];
  std::swprintf(name, sizeof name / sizeof name[0], L"Global\\Nightpick.FolderLock.%08lx.%08lx%08lx",
                static_cast<unsigned long>(info.dwVolumeSerialNumber), static_cast<unsigned long>(info.nFileIndexHigh),
                static_cast<unsigned long>(info.nFileIndexLow));
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
  const DWORD err = ::GetLastError();
  if (mutex != nullptr && err != ERROR_ALREADY_EXISTS) return std::make_unique<LocalFileLock>(mutex);
  if (mutex != nullptr) ::CloseHandle(mutex);
  // It exists: another holder has it (one of another user can be refused to us).
  if (mutex != nullptr || err == ERROR_ACCESS_DENIED) return nullptr;
  fail(what, folder, winCause(err));
}

std::vector<std::string> LocalFileSystem::FileNames(const std::string& folder) {
  static const std::string what = "Cannot list the folder";
  checkPath(what, folder);
  const std::wstring w = widen(folder);
  if (w.empty()) fail(what, folder, ENOENT);
  const std::wstring pattern = w + (w.back() == L'\\' || w.back() == L'/' ? L"*" : L"\\*");
  WIN32_FIND_DATAW found{};
  HANDLE h = ::FindFirstFileW(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) fail(what, folder, winCause(::GetLastError()));
  std::vector<std::string> names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = narrow(found.cFileName);
    if (!name.empty()) names.push_back(name);  // a name the code page cannot hold is no file of ours
  } while (::FindNextFileW(h, &found));
  const DWORD err = ::GetLastError();
  ::FindClose(h);
  if (err != ERROR_NO_MORE_FILES) fail(what, folder, winCause(err));
  return names;
}
#else
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
#endif

}  // namespace np
