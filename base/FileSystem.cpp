#include "base/FileSystem.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include "base/Errors.h"
#include "base/LocalFiles.h"
#include "base/TempName.h"

namespace np {

namespace localfiles {

std::string causeOf(int err) { return std::generic_category().message(err); }

void fail(const std::string& what, const std::string& path, const std::string& cause) {
  throw RunTimeError(what + " '" + path + "': " + cause);
}
void fail(const std::string& what, const std::string& path, int err) { fail(what, path, causeOf(err)); }

void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b,
           const std::string& cause) {
  throw RunTimeError(what + " '" + a + "' " + joiner + " '" + b + "': " + cause);
}
void fail2(const std::string& what, const std::string& a, const char* joiner, const std::string& b, int err) {
  fail2(what, a, joiner, b, causeOf(err));
}

void checkPath(const std::string& what, const std::string& path) {
  if (path.find('\0') != std::string::npos) fail(what, path, EINVAL);
}

std::FILE* openFile(const std::string& path, const char* mode, const std::string& what) {
  checkPath(what, path);
  errno = 0;
  std::FILE* f = openPath(path, mode);
  if (f == nullptr) fail(what, path, errno != 0 ? errno : EIO);
  return f;
}

std::string notAFileCause(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return causeOf(ENOENT);
  return existingFileCause(path);
}

}  // namespace localfiles

using namespace localfiles;

namespace {

// Hands the last bytes to the file, syncs it when asked and closes it, whatever fails on
// the way; then reports the first failure.
void writeAndClose(std::FILE* f, const std::string& path, std::string_view last, bool sync) {
  errno = 0;
  std::string writeCause;
  if (!last.empty() && std::fwrite(last.data(), 1, last.size(), f) != last.size())
    writeCause = causeOf(errno != 0 ? errno : EIO);
  else if (std::fflush(f) != 0 || std::ferror(f))
    writeCause = causeOf(errno != 0 ? errno : EIO);
  else if (sync)
    writeCause = syncFile(f);
  errno = 0;
  const bool closed = std::fclose(f) == 0;
  const int closeErr = errno != 0 ? errno : EIO;
  if (!writeCause.empty()) fail("Cannot write", path, writeCause);
  if (!closed) fail("Cannot close", path, closeErr);
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
      // The line's end: the first LF, or a CR before it.
      if (const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(last - from))) stop = static_cast<const char*>(lf);
      else stop = last;
      if (const void* cr = std::memchr(from, '\r', static_cast<std::size_t>(stop - from))) stop = static_cast<const char*>(cr);
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
  Unsynced,     // such a file in a dry run: written through at Close, not waited for
};

// A writer's buffer: a selection pass over a long list writes many lines between flushes,
// a list rewrite many lines before its close.
constexpr std::size_t kLogBufferBytes = 64 * 1024;

class LocalTextWriter : public TextWriter {
 public:
  LocalTextWriter(std::FILE* f, std::string path, Durability durability)
      : f_(f), path_(std::move(path)), durability_(durability) {
    // The lines are gathered here and handed to the C library a block at a time.
    std::setvbuf(f_, nullptr, _IONBF, 0);
    pending_.reserve(kLogBufferBytes);
  }
  ~LocalTextWriter() override {
    if (f_ == nullptr) return;
    // Not closed: what was written still reaches the file, as far as it can.
    if (!pending_.empty()) (void)std::fwrite(pending_.data(), 1, pending_.size(), f_);
    std::fclose(f_);
  }

  void WriteLine(std::string_view text) override {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
    pending_.append(text);
    pending_.append("\r\n", 2);
    if (pending_.size() >= kLogBufferBytes) writePending();
  }

  void Flush() override {
    if (f_ == nullptr) throw RunTimeError("File '" + path_ + "' is closed");
    writePending();
    errno = 0;
    if (std::fflush(f_) != 0) fail("Cannot write", path_, errno != 0 ? errno : EIO);
  }

  void Close() override {
    if (f_ == nullptr) return;
    std::FILE* f = f_;
    f_ = nullptr;
    writeAndClose(f, path_, pending_, durability_ == Durability::SyncAtClose);
  }

 private:
  void writePending() {
    if (pending_.empty()) return;
    errno = 0;
    const bool written = std::fwrite(pending_.data(), 1, pending_.size(), f_) == pending_.size();
    const int err = errno != 0 ? errno : EIO;
    pending_.clear();  // a failed block is reported, not written again
    if (!written) fail("Cannot write", path_, err);
  }

  std::FILE* f_;
  std::string path_;
  Durability durability_;
  std::string pending_;  // lines not yet handed to the C library
};

}  // namespace

std::unique_ptr<TextReader> LocalFileSystem::OpenTextFile(const std::string& path) {
  static const std::string what = "Cannot open for reading";
  std::FILE* f = openForReading(path, what);
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
  // A file written anew over an old one makes some file systems (ext4) push its data to
  // the disk at close, as they would for a sync. A dry run starts such a file afresh.
  if (sync_ == DiskSync::Never && FileExists(path)) (void)deleteFile(path);
  return std::make_unique<LocalTextWriter>(openFile(path, "wb", "Cannot create"), path,
                                           sync_ == DiskSync::Always ? Durability::SyncAtClose : Durability::Unsynced);
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
  try {
    return isFolder(path);
  } catch (...) {
    return false;
  }
}

void LocalFileSystem::Remove(const std::string& path) {
  static const std::string what = "Cannot delete";
  if (const std::string cause = notAFileCause(path); !cause.empty()) fail(what, path, cause);
  if (const std::string cause = deleteFile(path); !cause.empty()) fail(what, path, cause);
}

void LocalFileSystem::Move(const std::string& from, const std::string& to) {
  static const std::string what = "Cannot move";
  if (const std::string cause = notAFileCause(from); !cause.empty()) fail2(what, from, "to", to, cause);
  checkPath(what, to);
  if (const std::string cause = moveFile(from, to); !cause.empty()) fail2(what, from, "to", to, cause);
}

void LocalFileSystem::CreateFolders(const std::string& path) {
  static const std::string what = "Cannot create the folder";
  checkPath(what, path);
  if (path.empty()) fail(what, path, ENOENT);
  // The folders to make, the innermost first.
  std::vector<std::string> missing;
  for (std::string p = path; !p.empty() && !isFolder(p);) {
    missing.push_back(p);
    std::string parent = std::filesystem::path(p).parent_path().string();
    if (parent == p) break;
    p = std::move(parent);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (const std::string cause = makeFolder(*it); !cause.empty()) fail(what, path, cause);
  }
  if (sync_ == DiskSync::Always) {
    for (const std::string& made : missing) syncFolderOf(made, what);
  }
}

void LocalFileSystem::WriteBinaryFile(const std::string& path, std::string_view bytes) {
  if (sync_ == DiskSync::Never && FileExists(path)) (void)deleteFile(path);  // as CreateTextFile
  std::FILE* f = openFile(path, "wb", "Cannot create");
  std::setvbuf(f, nullptr, _IONBF, 0);  // the bytes go to the file in one write
  writeAndClose(f, path, bytes, sync_ == DiskSync::Always);
}

// Replace, ResolvedPath, LockFolder, FileNames and Publish are the platform's own (base/posix,
// base/windows).

namespace {

// Runs the check `write` of a probe file in the folder; its text when it fails, after
// removing what was made.
std::string probeProblem(FileSystem& files, const std::string& folder,
                         const std::function<void(const std::string& probe)>& write) {
  const std::string probe = joinPath(folder, "nightpick-write-check." + std::to_string(currentProcessId()) + ".tmp");
  try {
    write(probe);
    files.Remove(probe);
  } catch (const RunTimeError& error) {
    // Whatever was made goes again; a probe that cannot be removed does no harm.
    try {
      if (files.FileExists(probe)) files.Remove(probe);
    } catch (const RunTimeError&) {
    }
    return error.what();
  }
  return {};
}

}  // namespace

std::string folderWriteProblem(FileSystem& files, const std::string& folder) {
  return probeProblem(files, folder, [&](const std::string& probe) {
    std::unique_ptr<TextWriter> out = files.CreateTextFile(probe);
    out->WriteLine("Nightpick checks that it can write here; this file is removed at once.");
    out->Close();
  });
}

std::string folderBlockWriteProblem(FileSystem& files, const std::string& folder) {
  return probeProblem(files, folder, [&](const std::string& probe) {
    files.CreateFolders(folder);
    files.WriteBinaryFile(probe, std::string(kWriteCheckBlockBytes, '\0'));
  });
}

}  // namespace np
