#include "base/FileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Errors.h"
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
  EXPECT_NO_THROW({
    auto out = files.CreateTextFile("/dev/full");
    out->WriteLine("lost");
  });
}

TEST_F(LocalFileSystemTest, FileExistsOnlyForExistingNonFolders) {
  writeFileBytes(dir.file("file.txt"), "x");
  std::filesystem::create_directory(dir.file("sub"));
  std::filesystem::create_symlink(dir.file("nowhere"), dir.file("dangling"));
  std::filesystem::create_symlink(dir.file("file.txt"), dir.file("link"));
  struct Case {
    std::string path;
    bool file, folder;
  } const cases[] = {
      {dir.file("file.txt"), true, false},
      {dir.file("link"), true, false},
      {dir.file("sub"), false, true},
      {dir.path(), false, true},
      {dir.file("missing.txt"), false, false},
      {"", false, false},
      {dir.file("file.txt/inner"), false, false},  // through a file
      {dir.file("missing/inner"), false, false},
      {dir.file("dangling"), false, false},
      {std::string(dir.file("file.txt")) + std::string(1, '\0') + "x", false, false},
      {"/dev/null", true, false},  // an entry that is not a folder
  };
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
  // A reader that opened the old file keeps reading the old content.
  auto reader = files.OpenTextFile(dir.file("target.txt"));
  files.Replace(dir.file("target.new"), dir.file("target.txt"));
  EXPECT_EQ(reader->ReadLine(), "old");
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

TEST_F(LocalFileSystemTest, AReplacedFileKeepsItsPermissions) {
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
  first.reset();
  EXPECT_NE(files.LockFolder(dir.path()), nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_THAT(errorOf([&] { files.LockFolder(dir.file("missing")); }), HasSubstr("missing"));
}

}  // namespace
}  // namespace np
