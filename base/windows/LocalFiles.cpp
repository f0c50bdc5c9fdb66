// The file system on Windows: the platform's half of LocalFileSystem, through the wide
// (UTF-16) Windows functions; the program's paths are in the ANSI code page.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <system_error>
#include <thread>
#include <vector>

#include "base/FileSystem.h"
#include "base/LocalFiles.h"

namespace np {

namespace localfiles {

std::string winCause(unsigned long err) {
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

namespace {

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

}  // namespace

bool isFolder(const std::string& path) {
  DWORD error = 0;
  const DWORD attrs = attributesOf(path, &error);
  return error == 0 && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::FILE* openPath(const std::string& path, const char* mode) {
  const std::wstring w = widen(path);
  if (w.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  std::FILE* f = ::_wfopen(w.c_str(), widen(mode).c_str());
  // Windows refuses to open a folder as a file with EACCES: say what Linux says.
  if (f == nullptr && errno == EACCES && isFolder(path)) errno = EISDIR;
  return f;
}

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

std::string existingFileCause(const std::string& path) {
  DWORD error = 0;
  const DWORD attrs = attributesOf(path, &error);
  if (error != 0) return winCause(error);
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? causeOf(EISDIR) : std::string();
}

std::string syncFile(std::FILE* f) {
  const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(f)));
  if (h == INVALID_HANDLE_VALUE) return causeOf(EBADF);
  return ::FlushFileBuffers(h) ? std::string() : winCause(::GetLastError());
}

std::string deleteFile(const std::string& path) {
  return ::DeleteFileW(widen(path).c_str()) ? std::string() : winCause(::GetLastError());
}

std::string moveFile(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move itself refuses an existing target.
  const std::wstring wto = widen(to);
  if (wto.empty()) return causeOf(ENOENT);
  if (!::MoveFileExW(widen(from).c_str(), wto.c_str(), MOVEFILE_WRITE_THROUGH)) return winCause(::GetLastError());
  return {};
}

std::string makeFolder(const std::string& path) {
  const std::wstring w = widen(path);
  if (w.empty()) return causeOf(ENOENT);
  if (::CreateDirectoryW(w.c_str(), nullptr)) return {};
  const DWORD err = ::GetLastError();
  return err == ERROR_ALREADY_EXISTS && isFolder(path) ? std::string() : winCause(err);
}

// Windows gives an ordinary program no sync of a folder's entries: NTFS keeps them in its
// journal, and the moves that must reach the disk at once are made with
// MOVEFILE_WRITE_THROUGH instead.
void syncFolderOf(const std::string&, const std::string&) {}

}  // namespace localfiles

using namespace localfiles;

namespace {

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

// How long Replace waits for another program (a virus scanner, an editor, a backup) to
// let go of the file it replaces.
constexpr std::chrono::milliseconds kReplaceRetryFor{2000};
constexpr std::chrono::milliseconds kReplaceRetryStep{50};

// True when another open of the file stands in the way of deleting it.
bool heldByAnother(const std::wstring& path) {
  Handle h(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return !h.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

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
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (sync_ == DiskSync::Always ? MOVEFILE_WRITE_THROUGH : 0);
  const auto deadline = std::chrono::steady_clock::now() + kReplaceRetryFor;
  for (;;) {
    if (::MoveFileExW(wfrom.c_str(), wto.c_str(), flags)) return;
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

bool LocalFileSystem::Publish(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot publish";
  if (const std::string cause = notAFileCause(from); !cause.empty()) fail2(what, from, "as", to, cause);
  checkPath(what, to);
  const std::wstring wto = widen(to);
  if (wto.empty()) fail2(what, from, "as", to, ENOENT);
  // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name in the same step.
  const DWORD flags = sync_ == DiskSync::Always ? MOVEFILE_WRITE_THROUGH : 0;
  if (::MoveFileExW(widen(from).c_str(), wto.c_str(), flags)) return true;
  const DWORD err = ::GetLastError();
  // A folder of that name refuses the move as access denied.
  if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ||
      (err == ERROR_ACCESS_DENIED && ::GetFileAttributesW(wto.c_str()) != INVALID_FILE_ATTRIBUTES))
    return false;
  fail2(what, from, "as", to, winCause(err));
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

}  // namespace np
