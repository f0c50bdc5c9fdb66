#pragma once
// FITS files for the tests, made and read with cfitsio.
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace np::test {

// The keys of the primary header as cfitsio reads them: a string's text without its
// quotes and trailing blanks, any other value as written. COMMENT and HISTORY are left out.
std::map<std::string, std::string> fitsKeys(const std::string& path);

// A numeric value of fitsKeys; NaN when it is none (or absent).
double fitsNumber(const std::string& value);

// The pixels of the primary image, row after row.
std::vector<long> fitsPixels(const std::string& path);

// Writes (anew) a 16 x 8 image of 16-bit pixels (each its own index times 7) whose header has
// these cards besides the mandatory ones: a key and its value as it is to be written
// ("'Red'" for a string, "1.5" for a number).
void writeSmallFits(const std::string& path, const std::vector<std::pair<std::string, std::string>>& cards);

}  // namespace np::test
