#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"

namespace np::test {

// A FileSystem that passes everything to another one but can be told to fail. It counts
// the mutating operations: CreateTextFile, OpenTextFileForAppending, Remove, Move,
// Replace, CreateFolders, WriteBinaryFile, Publish, and WriteLine, Flush and Close on
// every writer it handed out. The
// chosen operation throws RunTimeError instead of reaching the inner file system, so a
// test can interrupt a file rewrite at each of its steps in turn:
//
//   for (int n = 1;; ++n) {
//     FaultyFileSystem files(local);
//     files.failAt(n);
//     try { rewrite(files); } catch (const RunTimeError&) { check(); continue; }
//     break;  // n is past the last step
//   }
class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& inner);

  // The n-th mutating operation (1-based, counted since construction or resetCount) fails;
  // the ones after it go through.
  void failAt(int n);
  // The n-th mutating operation and every one after it fail (a disk that has gone away).
  void failFrom(int n);
  // No mutating operation fails.
  void failNever();
  // Every mutating operation whose entry (see operations()) contains `text` fails, for
  // example "Close /tmp/x/Nightpick.log", from the `fromMatch`-th such operation on (a
  // disk that fills up on the way); the counted failures above still apply.
  void failWhere(const std::string& text, int fromMatch = 1);
  // OpenTextFile fails while this is set (a file that exists but cannot be read).
  void failOpenForReading(bool fail);

  // Mutating operations seen so far, the failed ones included.
  int operationCount() const;
  // One entry per mutating operation, e.g. "CreateTextFile /tmp/x/a.txt",
  // "WriteLine /tmp/x/a.txt" or "Publish /tmp/x/.a.part /tmp/x/a.fits"; failed ones end
  // in " (failed)".
  std::vector<std::string> operations() const;
  void resetCount();

  std::unique_ptr<TextReader> OpenTextFile(const std::string& path) override;
  std::unique_ptr<TextWriter> OpenTextFileForAppending(const std::string& path) override;
  std::unique_ptr<TextWriter> CreateTextFile(const std::string& path) override;
  bool FileExists(const std::string& path) noexcept override;
  bool FolderExists(const std::string& path) noexcept override;
  void Remove(const std::string& path) override;
  void Move(const std::string& from, const std::string& to) override;
  void Replace(const std::string& from, const std::string& to) override;
  std::string ResolvedPath(const std::string& path) override { return inner_.ResolvedPath(path); }
  std::unique_ptr<FileLock> LockFolder(const std::string& folder) override { return inner_.LockFolder(folder); }
  std::vector<std::string> FileNames(const std::string& folder) override { return inner_.FileNames(folder); }
  void CreateFolders(const std::string& path) override;
  void WriteBinaryFile(const std::string& path, std::string_view bytes) override;
  bool Publish(const std::string& from, const std::string& to) override;

  struct State;

 private:
  FileSystem& inner_;
  std::shared_ptr<State> state_;  // shared with the writers, which may outlive this object
};

}  // namespace np::test
