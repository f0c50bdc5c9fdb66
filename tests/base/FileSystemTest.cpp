#include "base/FileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "base/Errors.h"
#include "support/FaultyFileSystem.h"
#include "support/HostFakes.h"
#include "support/TempDir.h"

namespace np {
namespace {

using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;
using ::testing::HasSubstr;

std::vector<std::string> readAllLines(FileSystem& files, const std::string& path) {
  auto in = files.OpenTextFile(path);
  std::vector<std::string> lines;
  while (!in->AtEndOfStream()) lines.push_back(in->ReadLine());
  in->Close();
  return lines;
}

// Runs `op` and returns the RunTimeError's text; fails the test if nothing is thrown.
template <typename F>
std::string errorOf(F op) {
  try {
    op();
  } catch (const RunTimeError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no RunTimeError";
  return {};
}

// Linux's full device. Windows has none, but Wine reaches Linux's through its Z: drive, so
// under Wine these tests still run and meet Windows's ERROR_DISK_FULL.
bool haveFullDevice() {
  std::FILE* f = std::fopen("/dev/full", "wb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

class LocalFileSystemTest : public ::testing::Test {
 protected:
  TempDir dir;
  LocalFileSystem files;
};

TEST_F(LocalFileSystemTest, ReadsLinesWhateverTheirEnds) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } const cases[] = {
      {"empty file", "", {}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"lone LF", "a\nb\n", {"a", "b"}},
      {"mixed", "a\r\nb\nc\r\n", {"a", "b", "c"}},
      {"last line without end", "a\r\nlast", {"a", "last"}},
      {"empty lines", "\r\n\r\nx\r\n\r\n", {"", "", "x", ""}},
      {"lone CR", "a\rb\r", {"a", "b"}},
      {"CR then CR LF", "a\r\r\n", {"a", ""}},
      {"CR inside a line ends it", "a\rb\r\n", {"a", "b"}},
      {"blanks kept", "  a b \t\r\n\t\r\n", {"  a b \t", "\t"}},
      {"bytes passed through", std::string("\xE9t\xE9\0x\r\n", 7), {std::string("\xE9t\xE9\0x", 5)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFileBytes(dir.file("in.txt"), c.bytes);
    EXPECT_EQ(readAllLines(files, dir.file("in.txt")), c.lines);
  }
}

// Lines longer than the reader's block, and line ends (CR LF split in two included) at
// every position around the block's edges.
TEST_F(LocalFileSystemTest, ReadsLinesAcrossItsBlocks) {
  const std::string path = dir.file("long.txt");
  for (std::size_t first : {16382u, 16383u, 16384u, 16385u, 40000u}) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
      const std::string a(first, 'a'), b(3, 'b');
      writeFileBytes(path, a + end + b + end + end + "c");
      auto in = files.OpenTextFile(path);
      std::vector<std::string> lines;
      while (!in->AtEndOfStream()) lines.push_back(in->ReadLine());
      in->Close();
      EXPECT_EQ(lines, (std::vector<std::string>{a, b, "", "c"})) << first << " " << (end[0] == '\r');
    }
  }
}

TEST_F(LocalFileSystemTest, ReadingPastTheEndIsAnError) {
  writeFileBytes(dir.file("one.txt"), "only\r\n");
  auto in = files.OpenTextFile(dir.file("one.txt"));
  EXPECT_EQ(in->ReadLine(), "only");
  EXPECT_TRUE(in->AtEndOfStream());
  EXPECT_THAT(errorOf([&] { in->ReadLine(); }), HasSubstr(dir.file("one.txt")));
}

TEST_F(LocalFileSystemTest, OpeningForReadingNeverCreates) {
  const std::string missing = dir.file("missing.txt");
  const std::string message = errorOf([&] { files.OpenTextFile(missing); });
  EXPECT_THAT(message, HasSubstr(missing));
  EXPECT_THAT(message, HasSubstr("No such file or directory"));
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_THAT(errorOf([&] { files.OpenTextFile(dir.path()); }), HasSubstr("Is a directory"));
}

TEST_F(LocalFileSystemTest, WritersEndEveryLineWithCrLf) {
  const std::string path = dir.file("out.txt");
  auto out = files.CreateTextFile(path);
  out->WriteLine("first");
  out->WriteLine("");
  out->WriteLine(std::string("\xE9\0z", 3));
  out->Close();
  EXPECT_EQ(readFileBytes(path), std::string("first\r\n\r\n\xE9\0z\r\n", 14));
}

TEST_F(LocalFileSystemTest, CreateReplacesAndAppendAddsOrCreates) {
  const std::string path = dir.file("log.txt");
  auto a = files.OpenTextFileForAppending(path);  // creates
  a->WriteLine("one");
  a->Close();
  auto b = files.OpenTextFileForAppending(path);
  b->WriteLine("two");
  b->Close();
  EXPECT_EQ(readFileBytes(path), "one\r\ntwo\r\n");
  auto c = files.CreateTextFile(path);
  c->WriteLine("new");
  c->Close();
  EXPECT_EQ(readFileBytes(path), "new\r\n");
}

TEST_F(LocalFileSystemTest, DestructorClosesAndKeepsWhatWasWritten) {
  const std::string path = dir.file("unclosed.txt");
  files.CreateTextFile(path)->WriteLine("kept");
  EXPECT_EQ(readFileBytes(path), "kept\r\n");
}

TEST_F(LocalFileSystemTest, FullDiskIsReportedAtClose) {
  if (!haveFullDevice()) GTEST_SKIP() << "no full device (/dev/full) to write to";
  auto out = files.CreateTextFile("/dev/full");
  std::string message;
  try {
    out->WriteLine("no room");  // buffered: the failure may show here or at Close
    out->Close();
  } catch (const RunTimeError& e) {
    message = e.what();
  }
  EXPECT_THAT(message, HasSubstr("/dev/full"));
  EXPECT_THAT(message, HasSubstr("No space left on device"));
}

TEST_F(LocalFileSystemTest, FullDiskWithoutCloseDoesNotThrowFromTheDestructor) {
  if (!haveFullDevice()) GTEST_SKIP() << "no full device (/dev/full) to write to";
  EXPECT_NO_THROW({
    auto out = files.CreateTextFile("/dev/full");
    out->WriteLine("lost");
  });
}

TEST_F(LocalFileSystemTest, FileExistsOnlyForExistingNonFolders) {
  writeFileBytes(dir.file("file.txt"), "x");
  std::filesystem::create_directory(dir.file("sub"));
  struct Case {
    std::string path;
    bool file, folder;
  };
  std::vector<Case> cases = {
      {dir.file("file.txt"), true, false},
      {dir.file("sub"), false, true},
      {withSeparator(dir.file("sub")), false, true},
      {dir.path(), false, true},
      {dir.file("missing.txt"), false, false},
      {"", false, false},
      {joinPath(dir.file("file.txt"), "inner"), false, false},  // through a file
      {withSeparator(dir.file("file.txt")), false, false},
      {joinPath(dir.file("missing"), "inner"), false, false},
      {std::string(dir.file("file.txt")) + std::string(1, '\0') + "x", false, false},
  };
#ifdef _WIN32
  // Windows takes '/' as a separator too.
  cases.push_back({dir.path() + "/file.txt", true, false});
  cases.push_back({dir.path() + "/sub/", false, true});
#else
  std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  std::filesystem::create_symlink(dir.file("file.txt"), dir.file("link"));
  cases.push_back({dir.file("link"), true, false});
  cases.push_back({dir.file("dangling"), false, false});
  cases.push_back({"/dev/null", true, false});  // an entry that is not a folder
#endif
  for (const auto& c : cases) {
    EXPECT_EQ(files.FileExists(c.path), c.file) << c.path;
    EXPECT_EQ(files.FolderExists(c.path), c.folder) << c.path;
  }
}

TEST_F(LocalFileSystemTest, DeleteFile) {
  writeFileBytes(dir.file("gone.txt"), "x");
  files.Remove(dir.file("gone.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("gone.txt")));
  EXPECT_THAT(errorOf([&] { files.Remove(dir.file("gone.txt")); }),
              ::testing::AllOf(HasSubstr(dir.file("gone.txt")), HasSubstr("No such file or directory")));
  std::filesystem::create_directory(dir.file("sub"));
  EXPECT_THAT(errorOf([&] { files.Remove(dir.file("sub")); }), HasSubstr("Is a directory"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("sub")));
}

TEST_F(LocalFileSystemTest, MoveFileRefusesAnExistingTarget) {
  writeFileBytes(dir.file("a.txt"), "A");
  writeFileBytes(dir.file("b.txt"), "B");
  EXPECT_THAT(errorOf([&] { files.Move(dir.file("a.txt"), dir.file("b.txt")); }),
              ::testing::AllOf(HasSubstr(dir.file("a.txt")), HasSubstr("File exists")));
  EXPECT_EQ(readFileBytes(dir.file("a.txt")), "A");
  EXPECT_EQ(readFileBytes(dir.file("b.txt")), "B");

  files.Move(dir.file("a.txt"), dir.file("c.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.txt")));
  EXPECT_EQ(readFileBytes(dir.file("c.txt")), "A");
  EXPECT_THAT(errorOf([&] { files.Move(dir.file("a.txt"), dir.file("d.txt")); }),
              HasSubstr("No such file or directory"));
}

TEST_F(LocalFileSystemTest, ReplaceFileSwapsInTheNewFile) {
  writeFileBytes(dir.file("target.txt"), "old\r\n");
  writeFileBytes(dir.file("target.new"), "new\r\n");
#ifdef _WIN32
  files.Replace(dir.file("target.new"), dir.file("target.txt"));
#else
  // A reader that opened the old file keeps reading the old content. (On Windows an open
  // file cannot be replaced: see the table of open files below.)
  auto reader = files.OpenTextFile(dir.file("target.txt"));
  files.Replace(dir.file("target.new"), dir.file("target.txt"));
  EXPECT_EQ(reader->ReadLine(), "old");
#endif
  EXPECT_EQ(readFileBytes(dir.file("target.txt")), "new\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("target.new")));

  // A missing target is simply created.
  writeFileBytes(dir.file("x.new"), "x");
  files.Replace(dir.file("x.new"), dir.file("x.txt"));
  EXPECT_EQ(readFileBytes(dir.file("x.txt")), "x");
}

TEST_F(LocalFileSystemTest, FailedReplaceLeavesBothFiles) {
  writeFileBytes(dir.file("target.txt"), "old");
  EXPECT_THAT(errorOf([&] { files.Replace(dir.file("missing.new"), dir.file("target.txt")); }),
              HasSubstr(dir.file("missing.new")));
  EXPECT_EQ(readFileBytes(dir.file("target.txt")), "old");

  std::filesystem::create_directory(dir.file("folder"));
  writeFileBytes(dir.file("f.new"), "new");
  EXPECT_THAT(errorOf([&] { files.Replace(dir.file("f.new"), dir.file("folder")); }),
              HasSubstr(dir.file("folder")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
  EXPECT_EQ(readFileBytes(dir.file("f.new")), "new");
}

TEST_F(LocalFileSystemTest, CreatingInAMissingFolderNamesPathAndCause) {
  const std::string path = dir.file("no/such/folder.txt");
  for (bool append : {false, true}) {
    const std::string message =
        errorOf([&] { append ? files.OpenTextFileForAppending(path) : files.CreateTextFile(path); });
    EXPECT_THAT(message, HasSubstr(path));
    EXPECT_THAT(message, HasSubstr("No such file or directory"));
  }
}

TEST_F(LocalFileSystemTest, ClosedStreamsRefuseFurtherUse) {
  writeFileBytes(dir.file("r.txt"), "a\r\n");
  auto in = files.OpenTextFile(dir.file("r.txt"));
  in->Close();
  EXPECT_THROW(in->ReadLine(), RunTimeError);
  EXPECT_NO_THROW(in->Close());
  auto out = files.CreateTextFile(dir.file("w.txt"));
  out->Close();
  EXPECT_THROW(out->WriteLine("late"), RunTimeError);
  EXPECT_NO_THROW(out->Close());
}

TEST_F(LocalFileSystemTest, AnAppendAfterATornLastLineStartsOnAFreshLine) {
  const std::string path = dir.file("log.txt");
  for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
           {"", "next\r\n"}, {"whole\r\n", "whole\r\nnext\r\n"}, {"tor", "tor\r\nnext\r\n"}}) {
    writeFileBytes(path, before);
    auto log = files.OpenTextFileForAppending(path);
    log->WriteLine("next");
    log->Close();
    EXPECT_EQ(readFileBytes(path), after);
  }
}

// A log's lines reach the file at Flush, whole and in order, while the writer stays open
// for more; what follows a flush reaches it at the next one or at Close.
TEST_F(LocalFileSystemTest, AnAppendedLogReachesTheFileAtEveryFlushAndAtClose) {
  const std::string path = dir.file("log.txt");
  writeFileBytes(path, "old\r\n");
  auto log = files.OpenTextFileForAppending(path);
  log->WriteLine("one");
  log->WriteLine("two");
  log->Flush();
  EXPECT_EQ(readFileBytes(path), "old\r\none\r\ntwo\r\n");
  const std::string longLine(1000, 'x');
  for (int i = 0; i < 200; ++i) log->WriteLine(longLine);  // more than the buffer holds
  log->WriteLine("last");
  log->Flush();
  const std::string flushed = readFileBytes(path);
  EXPECT_EQ(flushed.size(), 5 + 10 + 200 * 1002 + 6);
  EXPECT_EQ(flushed.substr(flushed.size() - 6), "last\r\n");
  log->WriteLine("after");
  log->Close();
  EXPECT_EQ(readFileBytes(path), flushed + "after\r\n");
  EXPECT_THROW(log->Flush(), RunTimeError);
}

TEST_F(LocalFileSystemTest, AFailedFlushIsReported) {
  if (!haveFullDevice()) GTEST_SKIP() << "no full device (/dev/full) to write to";
  auto log = files.OpenTextFileForAppending("/dev/full");
  std::string message;
  try {
    log->WriteLine("no room");
    log->Flush();
  } catch (const RunTimeError& e) {
    message = e.what();
  }
  EXPECT_THAT(message, HasSubstr("No space left on device"));
}

TEST_F(LocalFileSystemTest, AReplacedFileKeepsItsPermissions) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no mode bits; the new file, beside the old, inherits the same ACL";
#endif
  const std::string to = dir.file("list.txt"), from = dir.file("new.txt");
  writeFileBytes(to, "old\r\n");
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  auto out = files.CreateTextFile(from);
  out->WriteLine("new");
  out->Close();
  files.Replace(from, to);
  EXPECT_EQ(readFileBytes(to), "new\r\n");
  EXPECT_EQ(std::filesystem::status(to).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(LocalFileSystemTest, ResolvedPathFollowsLinksToTheirFile) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links on Windows need a privilege, and mingw's std::filesystem cannot make them";
#endif
  std::filesystem::create_directories(dir.file("real"));
  writeFileBytes(dir.file("real/list.txt"), "x\r\n");
  std::filesystem::create_symlink("real/list.txt", dir.file("hop"));
  std::filesystem::create_symlink(dir.file("hop"), dir.file("link.txt"));
  EXPECT_EQ(files.ResolvedPath(dir.file("link.txt")), std::filesystem::canonical(dir.file("real/list.txt")).string());
  EXPECT_EQ(files.ResolvedPath(dir.file("real/list.txt")), dir.file("real/list.txt"));
  std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  EXPECT_EQ(files.ResolvedPath(dir.file("dangling")), dir.file("dangling"));
}

TEST_F(LocalFileSystemTest, AFolderLockHasOneHolderAtATimeAndLeavesNothing) {
  auto first = files.LockFolder(dir.path());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(files.LockFolder(dir.path()), nullptr);
  EXPECT_EQ(files.LockFolder(dir.path() + "/"), nullptr);
  EXPECT_EQ(files.LockFolder(withSeparator(dir.path())), nullptr);
  first.reset();
  EXPECT_NE(files.LockFolder(dir.path()), nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_THAT(errorOf([&] { files.LockFolder(dir.file("missing")); }), HasSubstr("missing"));
}

TEST_F(LocalFileSystemTest, CreateFoldersMakesEveryMissingParentAndTakesAFolderThatIsThere) {
  const std::string deep = joinPath(joinPath(dir.file("a"), "b"), "c");
  files.CreateFolders(deep);
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  files.CreateFolders(deep);  // there already
  files.CreateFolders(withSeparator(joinPath(deep, "d")));
  EXPECT_TRUE(std::filesystem::is_directory(joinPath(deep, "d")));
  files.CreateFolders(dir.path());
  EXPECT_THAT(errorOf([&] { files.CreateFolders(""); }), HasSubstr("No such file or directory"));
  // A file on the way: nothing is made beyond it, and the file stays as it was.
  writeFileBytes(dir.file("file"), "x");
  EXPECT_THAT(errorOf([&] { files.CreateFolders(joinPath(joinPath(dir.file("file"), "x"), "y")); }),
              HasSubstr("File exists"));
  EXPECT_EQ(readFileBytes(dir.file("file")), "x");
}

TEST_F(LocalFileSystemTest, ABinaryFileIsWrittenByteForByteAndReplacesAnOldOne) {
  const std::string path = dir.file("image.bin");
  const std::string bytes("a\0b\r\nc\nd\r\x1a\xff", 11);  // no line ends made, no end of file at ^Z
  files.WriteBinaryFile(path, bytes);
  EXPECT_EQ(readFileBytes(path), bytes);
  const std::string large(3 * 1024 * 1024 + 17, 'L');
  files.WriteBinaryFile(path, large);
  EXPECT_EQ(readFileBytes(path), large);
  files.WriteBinaryFile(path, "");
  EXPECT_EQ(readFileBytes(path), "");
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(LocalFileSystemTest, ABinaryFileThatDoesNotFitIsAnErrorNamingIt) {
  if (!haveFullDevice()) GTEST_SKIP() << "no full device (/dev/full) to write to";
  EXPECT_EQ(errorOf([&] { files.WriteBinaryFile("/dev/full", std::string(4096, '\0')); }),
            "Cannot write '/dev/full': No space left on device");
}

TEST_F(LocalFileSystemTest, PublishNamesAFileOnlyWhereNothingHasThatNameYet) {
  writeFileBytes(dir.file("image.part"), "new");
  writeFileBytes(dir.file("taken"), "old");
  std::filesystem::create_directory(dir.file("folder"));
  EXPECT_FALSE(files.Publish(dir.file("image.part"), dir.file("taken")));
  EXPECT_FALSE(files.Publish(dir.file("image.part"), dir.file("folder")));
  EXPECT_EQ(readFileBytes(dir.file("taken")), "old");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
  EXPECT_EQ(readFileBytes(dir.file("image.part")), "new");

  EXPECT_TRUE(files.Publish(dir.file("image.part"), dir.file("free")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("image.part")));
  EXPECT_EQ(readFileBytes(dir.file("free")), "new");
}

// Writers that race for one name: one of them gets it, the others are told so and keep
// their files; nothing is replaced on the way.
TEST_F(LocalFileSystemTest, OfWritersRacingForANameExactlyOneGetsIt) {
  constexpr int kWriters = 8;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    const std::string name = dir.file("image" + std::to_string(round));
    for (int w = 0; w < kWriters; ++w) writeFileBytes(dir.file("part" + std::to_string(w)), std::to_string(w));
    std::vector<int> won(kWriters, 0);
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
      writers.emplace_back([&, w] { won[w] = files.Publish(dir.file("part" + std::to_string(w)), name) ? 1 : 0; });
    for (std::thread& t : writers) t.join();
    int winners = 0;
    for (int w = 0; w < kWriters; ++w) {
      winners += won[w];
      EXPECT_EQ(std::filesystem::exists(dir.file("part" + std::to_string(w))), won[w] == 0) << w;
      if (won[w]) {
        EXPECT_EQ(readFileBytes(name), std::to_string(w));
      }
    }
    EXPECT_EQ(winners, 1);
    for (int w = 0; w < kWriters; ++w) std::filesystem::remove(dir.file("part" + std::to_string(w)));
  }
}

// The check of a folder that takes images: made when missing, a whole block written and
// synced, and nothing left behind whichever step fails.
TEST_F(LocalFileSystemTest, TheBlockWriteCheckMakesTheFolderAndLeavesNothingWhicheverStepFails) {
  const std::string images = joinPath(dir.file("night"), "Images");
  EXPECT_EQ(folderBlockWriteProblem(files, images), "");
  EXPECT_TRUE(std::filesystem::is_directory(images));
  EXPECT_TRUE(std::filesystem::is_empty(images));

  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    test::FaultyFileSystem faulty(files);
    faulty.failAt(n);
    const std::string problem = folderBlockWriteProblem(faulty, images);
    EXPECT_TRUE(std::filesystem::is_empty(images));
    if (problem.empty()) {
      EXPECT_EQ(n, 4) << "the folder, the block, its removal";
      break;
    }
    EXPECT_THAT(problem, HasSubstr("Injected failure of operation " + std::to_string(n)));
    EXPECT_THAT(problem, HasSubstr(images));
    ASSERT_LT(n, 10);
  }

  // A file where the folder should be.
  writeFileBytes(dir.file("file"), "x");
  EXPECT_THAT(folderBlockWriteProblem(files, dir.file("file")),
              HasSubstr("Cannot create the folder '" + dir.file("file") + "': File exists"));
  EXPECT_EQ(readFileBytes(dir.file("file")), "x");
}

// The block is what shows a full disk: a line of text may still fit in a block in use.
TEST(FolderBlockWriteProblem, WritesAWholeBlock) {
  test::MemoryFileSystem memory;
  test::FaultyFileSystem faulty(memory);
  faulty.failWhere("Remove ");  // the probe stays, to be looked at
  EXPECT_THAT(folderBlockWriteProblem(faulty, "/images"), HasSubstr("Injected failure"));
  ASSERT_EQ(memory.files.size(), 1u);
  const std::vector<std::string>& lines = memory.files.begin()->second;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(kWriteCheckBlockBytes, '\0'));
}

// Every failure reads "<what> '<path>': <cause>", with the cause in the same words on
// Linux and on Windows (where the C library's errno texts and Windows's own error codes
// would otherwise give other words, or text for another error).
TEST_F(LocalFileSystemTest, ErrorsNameWhatPathAndCause) {
  writeFileBytes(dir.file("file.txt"), "x");
  writeFileBytes(dir.file("other.txt"), "y");
  std::filesystem::create_directory(dir.file("sub"));
  const std::string missing = dir.file("missing.txt"), sub = dir.file("sub"), file = dir.file("file.txt");
  const std::string inMissing = joinPath(dir.file("no"), "x.txt");
  struct Case {
    const char* name;
    std::function<void()> op;
    std::string message;
  } const cases[] = {
      {"read a missing file", [&] { files.OpenTextFile(missing); },
       "Cannot open for reading '" + missing + "': No such file or directory"},
      {"read a folder", [&] { files.OpenTextFile(sub); }, "Cannot open for reading '" + sub + "': Is a directory"},
      {"create over a folder", [&] { files.CreateTextFile(sub); }, "Cannot create '" + sub + "': Is a directory"},
      {"append to a folder", [&] { files.OpenTextFileForAppending(sub); },
       "Cannot open for appending '" + sub + "': Is a directory"},
      {"create in a missing folder", [&] { files.CreateTextFile(inMissing); },
       "Cannot create '" + inMissing + "': No such file or directory"},
      {"delete a missing file", [&] { files.Remove(missing); }, "Cannot delete '" + missing + "': No such file or directory"},
      {"delete a folder", [&] { files.Remove(sub); }, "Cannot delete '" + sub + "': Is a directory"},
      {"move onto a file", [&] { files.Move(file, dir.file("other.txt")); },
       "Cannot move '" + file + "' to '" + dir.file("other.txt") + "': File exists"},
      {"replace with a missing file", [&] { files.Replace(missing, file); },
       "Cannot replace '" + file + "' with '" + missing + "': No such file or directory"},
      {"replace a folder", [&] { files.Replace(file, sub); }, "Cannot replace '" + sub + "' with '" + file + "': Is a directory"},
      {"lock a file", [&] { files.LockFolder(file); }, "Cannot lock the folder '" + file + "': Not a directory"},
      {"lock a missing folder", [&] { files.LockFolder(missing); },
       "Cannot lock the folder '" + missing + "': No such file or directory"},
      {"make folders through a file", [&] { files.CreateFolders(joinPath(file, "inner")); },
       "Cannot create the folder '" + joinPath(file, "inner") + "': File exists"},
      {"write a binary file over a folder", [&] { files.WriteBinaryFile(sub, "x"); },
       "Cannot create '" + sub + "': Is a directory"},
      {"write a binary file in a missing folder", [&] { files.WriteBinaryFile(inMissing, "x"); },
       "Cannot create '" + inMissing + "': No such file or directory"},
      {"publish a missing file", [&] { files.Publish(missing, dir.file("new.txt")); },
       "Cannot publish '" + missing + "' as '" + dir.file("new.txt") + "': No such file or directory"},
      {"publish into a missing folder", [&] { files.Publish(file, inMissing); },
       "Cannot publish '" + file + "' as '" + inMissing + "': No such file or directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorOf(c.op), c.message) << c.name;
  EXPECT_EQ(readFileBytes(file), "x");
  EXPECT_EQ(readFileBytes(dir.file("other.txt")), "y");
}

#ifdef _WIN32
// Windows's own text for one of its error codes, without its closing period and line end.
std::string windowsText(DWORD code) {
  std::string text = std::system_category().message(static_cast<int>(code));
  return text.substr(0, text.find_first_of(".\r\n"));
}

// A file held open by another program (an editor, a virus scanner, a backup) blocks a
// replace on Windows. Replace waits up to about 2 s for it to let go, then names it.
TEST_F(LocalFileSystemTest, ReplacingAnOpenFileWaitsForItsHolderThenGivesUp) {
  using namespace std::chrono;
  struct Case {
    const char* name;
    DWORD share;               // what the holder lets others do
    int releaseAfterMs;        // -1: held past the wait
  } const cases[] = {
      {"an editor's open (read and write shared)", FILE_SHARE_READ | FILE_SHARE_WRITE, 300},
      {"an exclusive open", 0, 300},
      {"an exclusive open past the wait", 0, -1},
      {"an editor's open past the wait", FILE_SHARE_READ | FILE_SHARE_WRITE, -1},
  };
  const std::string to = dir.file("list.txt"), from = dir.file("list.new");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFileBytes(to, "old\r\n");
    writeFileBytes(from, "new\r\n");
    HANDLE holder = ::CreateFileA(to.c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::thread releaser;
    if (c.releaseAfterMs >= 0)
      releaser = std::thread([&] {
        std::this_thread::sleep_for(milliseconds(c.releaseAfterMs));
        ::CloseHandle(holder);
      });
    const auto start = steady_clock::now();
    std::string message;
    try {
      files.Replace(from, to);
    } catch (const RunTimeError& e) {
      message = e.what();
    }
    const auto waited = duration_cast<milliseconds>(steady_clock::now() - start).count();
    if (releaser.joinable()) {
      releaser.join();
      EXPECT_EQ(message, "");
      EXPECT_GE(waited, c.releaseAfterMs - 50);
      EXPECT_EQ(readFileBytes(to), "new\r\n");
      EXPECT_FALSE(std::filesystem::exists(from));
    } else {
      ::CloseHandle(holder);
      EXPECT_EQ(message, "Cannot replace '" + to + "' with '" + from + "': " + windowsText(ERROR_SHARING_VIOLATION));
      EXPECT_GE(waited, 1900);
      EXPECT_LT(waited, 5000);
      EXPECT_EQ(readFileBytes(to), "old\r\n");
      EXPECT_EQ(readFileBytes(from), "new\r\n");
    }
  }
}

// A read-only file is refused at once (no wait can cure it), and nothing changes.
TEST_F(LocalFileSystemTest, AReadOnlyFileIsNotReplaced) {
  const std::string to = dir.file("list.txt"), from = dir.file("list.new");
  writeFileBytes(to, "old\r\n");
  writeFileBytes(from, "new\r\n");
  ASSERT_TRUE(::SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_READONLY));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(errorOf([&] { files.Replace(from, to); }),
            "Cannot replace '" + to + "' with '" + from + "': Permission denied");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(readFileBytes(to), "old\r\n");
  EXPECT_EQ(readFileBytes(from), "new\r\n");
  ::SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Narrow paths are in the ANSI code page: a name with an accented letter reaches Windows
// as that letter, whichever call makes or opens the file.
TEST_F(LocalFileSystemTest, NamesInTheAnsiCodePageReachWindowsAsTheirLetters) {
  if (::GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << ::GetACP() << ", not 1252";
  const std::string folder = dir.file("r\xE9pertoire");
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string from = joinPath(folder, "caf\xE9.new"), to = joinPath(folder, "caf\xE9.txt");
  auto out = files.CreateTextFile(from);
  out->WriteLine("cr\xE8me");
  out->Close();
  files.Replace(from, to);
  const std::wstring wide = std::filesystem::path(dir.path()).wstring() + L"\\r\u00e9pertoire\\caf\u00e9.txt";
  EXPECT_NE(::GetFileAttributesW(wide.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(files.FileExists(to));
  EXPECT_TRUE(files.FolderExists(folder));
  EXPECT_EQ(readAllLines(files, to), std::vector<std::string>{"cr\xE8me"});
  EXPECT_NE(files.LockFolder(folder), nullptr);
  files.Remove(to);
  EXPECT_FALSE(files.FileExists(to));
}

// Another process, np_lock_holder (built beside this test), holding a folder's lock.
class LockHolderProcess {
 public:
  explicit LockHolderProcess(const std::string& folder) {
    char exe[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string holder = (std::filesystem::path(std::string(exe, n)).parent_path() / "np_lock_holder.exe").string();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!::CreatePipe(&childIn, &toChild_, &inherit, 0) || !::CreatePipe(&fromChild_, &childOut, &inherit, 0)) return;
    ::SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(fromChild_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + holder + "\" \"" + folder + "\"";
    PROCESS_INFORMATION pi{};
    if (::CreateProcessA(holder.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      process_ = pi.hProcess;
      ::CloseHandle(pi.hThread);
    }
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
  }
  ~LockHolderProcess() {
    if (toChild_) ::CloseHandle(toChild_);
    if (fromChild_) ::CloseHandle(fromChild_);
    if (process_) {
      ::TerminateProcess(process_, 1);
      ::CloseHandle(process_);
    }
  }
  bool started() const { return process_ != nullptr; }
  // The holder's one line: "held", "refused" or an error.
  std::string answer() {
    std::string line;
    char c;
    DWORD got = 0;
    while (::ReadFile(fromChild_, &c, 1, &got, nullptr) && got == 1 && c != '\n')
      if (c != '\r') line += c;
    return line;
  }
  // Ends it as a user would (its input closed: it releases and exits), or kills it.
  bool end(bool kill) {
    if (kill)
      ::TerminateProcess(process_, 1);
    else {
      ::CloseHandle(toChild_);
      toChild_ = nullptr;
    }
    return ::WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0;
  }

 private:
  HANDLE process_ = nullptr, toChild_ = nullptr, fromChild_ = nullptr;
};

TEST_F(LocalFileSystemTest, AFolderLockRefusesAnotherProcessUntilItsHolderEndsHoweverItEnds) {
  for (bool kill : {false, true}) {
    SCOPED_TRACE(kill ? "holder killed" : "holder ends");
    LockHolderProcess other(dir.path());
    ASSERT_TRUE(other.started());
    ASSERT_EQ(other.answer(), "held");
    EXPECT_EQ(files.LockFolder(dir.path()), nullptr);
    EXPECT_EQ(files.LockFolder(withSeparator(dir.path())), nullptr);
    ASSERT_TRUE(other.end(kill));
    EXPECT_NE(files.LockFolder(dir.path()), nullptr);
  }
  auto mine = files.LockFolder(withSeparator(dir.path()));
  ASSERT_NE(mine, nullptr);
  LockHolderProcess other(dir.path());
  ASSERT_TRUE(other.started());
  EXPECT_EQ(other.answer(), "refused");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
#endif

}  // namespace
}  // namespace np
