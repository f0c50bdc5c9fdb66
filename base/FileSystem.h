#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Paths.h"

namespace np {


// A text file open for reading. Lines end in CR LF, LF or a lone CR; ReadLine returns
// the line without its end. Reading past the end is a RunTimeError.
class TextReader {
 public:
  virtual ~TextReader() = default;
  virtual bool AtEndOfStream() = 0;
  virtual std::string ReadLine() = 0;
  virtual void Close() = 0;
};

// A text file open for writing. Every line is written with CR LF. Close flushes (a file
// made by CreateTextFile also reaches the disk before Close returns) and reports a
// failed write (a full disk) as a RunTimeError.
class TextWriter {
 public:
  virtual ~TextWriter() = default;
  virtual void WriteLine(std::string_view text) = 0;
  // Hands every line written so far to the file, where other readers see it; a failed
  // write is a RunTimeError.
  virtual void Flush() {}
  virtual void Close() = 0;
};

// An exclusive lock on a folder, held until the object is destroyed. The operating system
// releases it when the process ends, however it ends, so a crash never leaves it stale.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// Plain text-file access. Every failure but FileExists's is a RunTimeError naming the
// path and the cause.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing file for reading (never creates it).
  virtual std::unique_ptr<TextReader> OpenTextFile(const std::string& path) = 0;
  // Opens for appending, creating the file if it is missing. Lines are buffered: they
  // reach the file at Flush and Close (and whenever the buffer fills), so the writer
  // flushes wherever a reader of the file must see what was written. When the file does
  // not end with a line end (a line torn by a crash), the first line written starts on
  // a fresh line.
  virtual std::unique_ptr<TextWriter> OpenTextFileForAppending(const std::string& path) = 0;
  // Creates the file, replacing any file of that name.
  virtual std::unique_ptr<TextWriter> CreateTextFile(const std::string& path) = 0;
  // True for an existing entry that is not a folder; false on any error.
  virtual bool FileExists(const std::string& path) noexcept = 0;
  virtual bool FolderExists(const std::string& path) noexcept = 0;
  virtual void Remove(const std::string& path) = 0;
  // Moves a file to a path where no file exists.
  virtual void Move(const std::string& from, const std::string& to) = 0;
  // Puts `from` in place of `to` in one step: at every instant `to` is either the old
  // file or the new one, complete. The new file keeps the old one's permissions, and the
  // change of folder entry is on disk when the call returns.
  virtual void Replace(const std::string& from, const std::string& to) = 0;
  // The file a path leads to: a symbolic link followed to its final target (a path that
  // is no link, or a link that leads nowhere, comes back unchanged).
  virtual std::string ResolvedPath(const std::string& path) { return path; }
  // Takes the exclusive lock of an existing folder; nullptr when another holder, in this
  // process or another, has it. Nothing is left in the folder once it is released.
  virtual std::unique_ptr<FileLock> LockFolder(const std::string& folder) = 0;
  // The names (without the folder) of the files in a folder, in no particular order;
  // sub-folders are left out.
  virtual std::vector<std::string> FileNames(const std::string& folder) = 0;
  // Makes the folder and those of its parents that are missing; a folder that exists
  // already is no error, an entry of that name that is no folder is. The new entries are
  // on disk when the call returns.
  virtual void CreateFolders(const std::string& path) = 0;
  // Writes `bytes` as the whole file, replacing any file of that name, and closes it; the
  // data is on disk when the call returns. A failure (a full disk) may leave part of the
  // file behind: the caller removes what it does not want.
  virtual void WriteBinaryFile(const std::string& path, std::string_view bytes) = 0;
  // Gives the file `from` the name `to` in one step, on the same volume, when nothing has
  // that name yet: true, `from` is gone, and the new folder entry is on disk when the
  // call returns. False, and nothing changes, when `to` exists: no file ever replaces
  // another this way, whatever runs beside it.
  virtual bool Publish(const std::string& from, const std::string& to) = 0;
};

// Whether a file that replaces another or is handed to the host, and the folder entry
// of a replacement, are forced onto the disk before the call returns.
enum class DiskSync {
  Always,  // the program's own files: a power cut leaves the old file or the new, whole
  Never,   // a dry run on a scratch copy: a power cut may cost the copy, nothing else
};

// The file system of the machine, through the C++ standard library and POSIX. Without
// syncing a file still replaces another in one step; only the wait for the disk goes.
class LocalFileSystem : public FileSystem {
 public:
  explicit LocalFileSystem(DiskSync sync = DiskSync::Always) : sync_(sync) {}
  std::unique_ptr<TextReader> OpenTextFile(const std::string& path) override;
  std::unique_ptr<TextWriter> OpenTextFileForAppending(const std::string& path) override;
  std::unique_ptr<TextWriter> CreateTextFile(const std::string& path) override;
  bool FileExists(const std::string& path) noexcept override;
  bool FolderExists(const std::string& path) noexcept override;
  void Remove(const std::string& path) override;
  void Move(const std::string& from, const std::string& to) override;
  void Replace(const std::string& from, const std::string& to) override;
  std::string ResolvedPath(const std::string& path) override;
  std::unique_ptr<FileLock> LockFolder(const std::string& folder) override;
  std::vector<std::string> FileNames(const std::string& folder) override;
  void CreateFolders(const std::string& path) override;
  void WriteBinaryFile(const std::string& path, std::string_view bytes) override;
  bool Publish(const std::string& from, const std::string& to) override;

 private:
  DiskSync sync_;
};

// Why the folder cannot take a file of the program's own: one is created beside nothing
// else ("nightpick-write-check.<process>.tmp"), written, closed and removed. Empty when
// all of that worked; otherwise the failing step's own text (it names the file and the
// cause). Never throws for a failure of the folder.
std::string folderWriteProblem(FileSystem& files, const std::string& folder);

// The bytes folderBlockWriteProblem writes: a whole block of the disk, which a full disk
// refuses (a line may still fit in a block that is partly used).
inline constexpr std::size_t kWriteCheckBlockBytes = 4096;

// Why the folder cannot take a large file of the program's own (an image): the folder is
// made with its parents when missing, and a file of kWriteCheckBlockBytes is written
// beside nothing else ("nightpick-write-check.<process>.tmp"), synced and removed. Empty
// when all of that worked; otherwise the failing step's own text. Never throws for a
// failure of the folder.
std::string folderBlockWriteProblem(FileSystem& files, const std::string& folder);

}  // namespace np
