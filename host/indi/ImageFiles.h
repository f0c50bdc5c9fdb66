#pragma once
// The images of an acquisition, as files in the images folder.
#include <string>

#include "base/FileSystem.h"
#include "host/indi/FitsHeader.h"
#include "host/indi/IndiInbox.h"

namespace np::indi {

// The file name of an image: "<local date>_<target>_<filter>_<number>.fits", the target
// and filter made safe for a file name, without the filter part when there is none.
std::string imageFileName(const std::string& localDate, const std::string& target, const std::string& filter,
                          int number, const std::string& format);

// Writes an image through `files`: a FITS image's header brought to `header` in memory
// first (stampImageHeader), then the bytes written and synced beside the final name (a
// ".part" file), then published under the first free running number from 1, so that no
// image ever replaces another; returns its path. The folder is made when missing. Throws
// RunTimeError naming the file and the cause; nothing is left of an image that failed.
std::string writeImageFile(FileSystem& files, const std::string& folder, const std::string& localDate,
                           const std::string& target, const std::string& filter, const ReceivedImage& image,
                           const ImageHeader& header);

}  // namespace np::indi
