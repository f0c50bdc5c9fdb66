// An image on its way to the images folder through the program's file system: a full disk
// or any other failure at any step leaves neither part of the image nor its .part file,
// and says which file it was; a name that is taken is never written over.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "host/indi/ImageFiles.h"
#include "indi/FitsFiles.h"
#include "indi/IndiServer.h"
#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"

namespace np::indi {
namespace {

using np::test::failureOf;
using np::test::FaultyFileSystem;
using np::test::readFileBytes;
using np::test::TempDir;
using testing::AllOf;
using testing::HasSubstr;

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
  return names;
}

ReceivedImage jpeg(const std::string& bytes) {
  ReceivedImage image;
  image.device = "Main Camera";
  image.format = ".jpg";
  image.bytes.assign(bytes.begin(), bytes.end());
  return image;
}

TEST(ImageFiles, AFailureAtAnyStepLeavesNothingOfTheImageAndNamesItsFile) {
  TempDir folder;
  LocalFileSystem local;
  const std::string images = folder.file("Night") + "/Images";
  const ReceivedImage image = jpeg("the image");
  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    FaultyFileSystem files(local);
    files.failAt(n);
    std::string path;
    const std::string failure = failureOf([&] { path = writeImageFile(files, images, "2026-12-08", "M 1", "", image, {}); });
    if (failure == "(no failure)") {
      // The folder, the bytes beside the name, the name.
      EXPECT_EQ(n, 4);
      EXPECT_EQ(path, images + "/2026-12-08_M_1_001.jpg");
      EXPECT_EQ(readFileBytes(path), "the image");
      EXPECT_EQ(namesIn(images), std::vector<std::string>{"2026-12-08_M_1_001.jpg"});
      break;
    }
    // The error is the failed step's own, which names its file.
    const std::vector<std::string> steps = files.operations();
    ASSERT_GE(steps.size(), static_cast<std::size_t>(n)) << failure;
    std::string failed = steps[static_cast<std::size_t>(n - 1)];
    ASSERT_THAT(failed, testing::EndsWith(" (failed)"));
    failed.erase(failed.size() - std::string(" (failed)").size());
    EXPECT_THAT(failure, HasSubstr(failed));
    EXPECT_THAT(failure, HasSubstr(n == 1 ? "cannot make the image folder '" + images + "'" : "cannot write the image: "));
    if (n > 1) {
      EXPECT_THAT(failure, HasSubstr(images + "/.M_1-"));  // the file the image was written as
    }
    EXPECT_TRUE(namesIn(images).empty()) << "something of the image is left";
    ASSERT_LT(n, 10);
  }
}

TEST(ImageFiles, ANameThatIsTakenIsPassedOverNeverWrittenOver) {
  TempDir folder;
  LocalFileSystem files;
  const std::string images = folder.file("Images");
  std::filesystem::create_directories(images);
  test::writeFileBytes(images + "/2026-12-08_M_1_red_001.jpg", "first");
  test::writeFileBytes(images + "/2026-12-08_M_1_red_003.jpg", "third");
  EXPECT_EQ(writeImageFile(files, images, "2026-12-08", "M 1", "red", jpeg("second"), {}),
            images + "/2026-12-08_M_1_red_002.jpg");
  EXPECT_EQ(writeImageFile(files, images, "2026-12-08", "M 1", "red", jpeg("fourth"), {}),
            images + "/2026-12-08_M_1_red_004.jpg");
  EXPECT_EQ(readFileBytes(images + "/2026-12-08_M_1_red_001.jpg"), "first");
  EXPECT_EQ(readFileBytes(images + "/2026-12-08_M_1_red_002.jpg"), "second");
  EXPECT_EQ(readFileBytes(images + "/2026-12-08_M_1_red_003.jpg"), "third");
  EXPECT_EQ(readFileBytes(images + "/2026-12-08_M_1_red_004.jpg"), "fourth");
  EXPECT_EQ(namesIn(images).size(), 4u);
}

// A FITS image reaches the disk already stamped: the bytes the file system is given are
// the final ones, and the published file is never written again.
TEST(ImageFiles, AFitsImageIsStampedBeforeItIsWritten) {
  TempDir folder;
  LocalFileSystem local;
  FaultyFileSystem files(local);
  test::writeSmallFits(folder.file("sent.fits"), {{"OBJECT", "'Unknown'"}});
  const std::string sent = readFileBytes(folder.file("sent.fits"));
  ReceivedImage image;
  image.format = ".fits";
  image.bytes.assign(sent.begin(), sent.end());
  ImageHeader header;
  header.object = "M 1";
  const std::string path = writeImageFile(files, folder.file("Images"), "2026-12-08", "M 1", "", image, header);
  EXPECT_EQ(test::fitsKeys(path)["OBJECT"], "M 1");
  const std::vector<std::string> steps = files.operations();
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_THAT(steps[1], AllOf(HasSubstr("WriteBinaryFile "), HasSubstr(".part")));
  EXPECT_THAT(steps[2], AllOf(HasSubstr("Publish "), HasSubstr(path)));
}

}  // namespace
}  // namespace np::indi
