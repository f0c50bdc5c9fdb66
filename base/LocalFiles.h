#pragma once
// Inside LocalFileSystem: what base/FileSystem.cpp shares with its two platform halves,
// base/posix/LocalFiles.cpp and base/windows/LocalFiles.cpp (the build compiles one of
// them); base/windows/Process.cpp words its errors with winCause too. Each half gives the functions below and LocalFileSystem's Replace,
// ResolvedPath, LockFolder, FileNames and Publish. Not for use outside those files.
#include <cstdio>
#include <string>

namespace np::localfiles {

// The C library's text for an errno value. (On Windows, std::system_category() takes its
// argument for a Windows error code: ENOSPC would read "The printer is out of paper".)
std::string causeOf(int err);

// A RunTimeError "<what> '<path>': <cause>".
[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& cause);
[[noreturn]] void fail(const std::string& what, const std::string& path, int err);
// A RunTimeError "<what> '<a>' <joiner> '<b>': <cause>".
[[noreturn]] void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b,
                        const std::string& cause);
[[noreturn]] void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b,
                        int err);

// A C string cannot carry a NUL: such a path names no file.
void checkPath(const std::string& what, const std::string& path);

// Opens with the C library's `mode`; a failure is a RunTimeError "<what> '<path>': ...".
std::FILE* openFile(const std::string& path, const char* mode, const std::string& what);

// Empty when the path names an existing entry that is not a folder, else the cause.
std::string notAFileCause(const std::string& path);

// The platform's half.

// std::fopen of the path (already checked for a NUL); nullptr with errno set on failure.
std::FILE* openPath(const std::string& path, const char* mode);
// Opens an existing file for reading in binary mode, like openFile.
std::FILE* openForReading(const std::string& path, const std::string& what);
// notAFileCause for a path that is not empty and holds no NUL.
std::string existingFileCause(const std::string& path);
// True when the path (not empty, no NUL) names an existing folder, links followed.
bool isFolder(const std::string& path);
// Writes a file's data to the disk; empty on success, else the cause.
std::string syncFile(std::FILE* f);
// Deletes an existing file; empty on success, else the cause.
std::string deleteFile(const std::string& path);
// Moves an existing file to `to` (no NUL in it) where no entry exists; empty on
// success, else the cause.
std::string moveFile(const std::string& from, const std::string& to);
// Makes one folder whose parent exists; empty on success and when a folder of that name
// is there already, else the cause.
std::string makeFolder(const std::string& path);
// Writes the entries of the folder that holds `path` (a new name in it) to disk; a real
// I/O failure is a RunTimeError "<what> '<folder>': <cause>".
void syncFolderOf(const std::string& path, const std::string& what);

#ifdef _WIN32
// A Windows error (GetLastError) as the same text the Linux build gives for its errno
// counterpart, so that messages read alike on both; the others in Windows's own words.
std::string winCause(unsigned long err);
#endif

}  // namespace np::localfiles
