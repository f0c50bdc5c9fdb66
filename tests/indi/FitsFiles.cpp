#include "indi/FitsFiles.h"

#include <fitsio.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace np::test {
namespace {

void check(int status, const std::string& what) {
  if (status == 0) return;
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  fits_clear_errmsg();
  throw std::runtime_error(what + ": " + text);
}

std::string unquoted(const std::string& value) {
  if (value.size() < 2 || value.front() != '\'') return value;
  std::string out;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    out += value[i];
    if (value[i] == '\'' && value[i + 1] == '\'') ++i;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::map<std::string, std::string> fitsKeys(const std::string& path) {
  fitsfile* file = nullptr;
  int status = 0;
  fits_open_diskfile(&file, path.c_str(), READONLY, &status);
  check(status, "cannot open '" + path + "'");
  int count = 0;
  fits_get_hdrspace(file, &count, nullptr, &status);
  std::map<std::string, std::string> keys;
  for (int i = 1; i <= count && status == 0; ++i) {
    char name[FLEN_KEYWORD] = {}, value[FLEN_VALUE] = {}, comment[FLEN_COMMENT] = {};
    fits_read_keyn(file, i, name, value, comment, &status);
    const std::string key = name;
    if (key != "COMMENT" && key != "HISTORY" && !key.empty()) keys[key] = unquoted(value);
  }
  int closing = 0;
  fits_close_file(file, &closing);
  check(status, "cannot read the header of '" + path + "'");
  return keys;
}

double fitsNumber(const std::string& value) {
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  return value.empty() || *end != '\0' ? std::nan("") : number;
}

std::vector<long> fitsPixels(const std::string& path) {
  fitsfile* file = nullptr;
  int status = 0;
  fits_open_diskfile(&file, path.c_str(), READONLY, &status);
  check(status, "cannot open '" + path + "'");
  long size[2] = {0, 0};
  fits_get_img_size(file, 2, size, &status);
  std::vector<long> pixels(static_cast<std::size_t>(size[0] * size[1]));
  long first[2] = {1, 1};
  fits_read_pix(file, TLONG, first, static_cast<LONGLONG>(pixels.size()), nullptr, pixels.data(), nullptr, &status);
  int closing = 0;
  fits_close_file(file, &closing);
  check(status, "cannot read the pixels of '" + path + "'");
  return pixels;
}

void writeSmallFits(const std::string& path, const std::vector<std::pair<std::string, std::string>>& cards) {
  std::filesystem::remove(path);  // cfitsio makes a new file only
  fitsfile* file = nullptr;
  int status = 0;
  fits_create_diskfile(&file, path.c_str(), &status);
  check(status, "cannot create '" + path + "'");
  long size[2] = {16, 8};
  fits_create_img(file, USHORT_IMG, 2, size, &status);
  for (const auto& [key, value] : cards) {
    std::string card = key;
    card.resize(8, ' ');
    card += "= " + value;
    fits_write_record(file, card.c_str(), &status);
  }
  std::vector<unsigned short> pixels(16 * 8);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned short>(i * 7);
  long first[2] = {1, 1};
  fits_write_pix(file, TUSHORT, first, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
  int closing = 0;
  fits_close_file(file, &closing);
  check(status ? status : closing, "cannot write '" + path + "'");
}

}  // namespace np::test
