#include "host/indi/ImageFiles.h"

#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/Errors.h"
#include "base/TempName.h"

namespace np::indi {
namespace {

// The last running number tried before the folder is taken as full of this target's images.
constexpr int kLastImageNumber = 99999;

std::string safeForFileName(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    out += (std::isalnum(c) || c == '-' || c == '+' || c == '.') ? static_cast<char>(c) : '_';
  }
  while (!out.empty() && out.front() == '.') out.erase(out.begin());
  return out.empty() ? std::string("target") : out;
}

bool isFits(const std::string& format) {
  std::string lower = format;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == ".fits";
}

// Removes what a failed write left of the image; a failure here hides nothing that matters
// more than the one being reported.
void removeQuietly(FileSystem& files, const std::string& part) {
  try {
    if (files.FileExists(part)) files.Remove(part);
  } catch (const RunTimeError&) {
  }
}

}  // namespace

std::string imageFileName(const std::string& localDate, const std::string& target, const std::string& filter,
                          int number, const std::string& format) {
  std::string name = localDate + "_" + safeForFileName(target);
  if (!filter.empty()) name += "_" + safeForFileName(filter);
  char digits[16];
  std::snprintf(digits, sizeof digits, "_%03d", number);
  name += digits;
  std::string extension = format.empty() ? std::string(".fits") : format;
  if (extension.front() != '.') extension.insert(extension.begin(), '.');
  return name + safeForFileName(extension.substr(1)).insert(0, ".");
}

std::string writeImageFile(FileSystem& files, const std::string& folder, const std::string& localDate,
                           const std::string& target, const std::string& filter, const ReceivedImage& image,
                           const ImageHeader& header) {
  try {
    files.CreateFolders(folder);
  } catch (const RunTimeError& error) {
    throw RunTimeError("cannot make the image folder '" + folder + "': " + error.what());
  }
  const std::string part = folder + "/." + safeForFileName(target) + "-" + std::to_string(currentProcessId()) + ".part";
  // The header is made right before a byte is written: the image shows under its name
  // only as it is meant to be.
  std::vector<char> stamped;
  std::string_view bytes(image.bytes.data(), image.bytes.size());
  if (isFits(image.format)) {
    stamped = image.bytes;
    stampImageHeader(stamped, part, header);
    bytes = std::string_view(stamped.data(), stamped.size());
  }
  try {
    files.WriteBinaryFile(part, bytes);
    for (int number = 1; number <= kLastImageNumber; ++number) {
      const std::string path = folder + "/" + imageFileName(localDate, target, filter, number, image.format);
      if (files.Publish(part, path)) return path;
    }
    throw RunTimeError("every name up to number " + std::to_string(kLastImageNumber) + " is taken in '" + folder + "'");
  } catch (const RunTimeError& error) {
    removeQuietly(files, part);
    throw RunTimeError(std::string("cannot write the image: ") + error.what());
  }
}

}  // namespace np::indi
