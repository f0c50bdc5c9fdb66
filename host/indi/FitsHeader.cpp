#include "host/indi/FitsHeader.h"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>

#include "base/Errors.h"
#include "host/UtcTime.h"

namespace np::indi {
namespace {

// cfitsio's word for a status, with the messages it stacked for it (the stack is emptied).
std::string cfitsioMessage(int status, const std::string& path) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  std::string message = std::string(text) + " (cfitsio status " + std::to_string(status) + ")";
  char line[FLEN_ERRMSG] = {};
  std::string details;
  while (fits_read_errmsg(line)) {
    std::string part = line;
    while (!part.empty() && (part.back() == ' ' || part.back() == ':')) part.pop_back();
    if (part.empty() || part == path) continue;
    details += (details.empty() ? "" : "; ") + part;
  }
  return details.empty() ? message : message + ": " + details;
}

// cfitsio's way to grow a memory file.
void* grow(void* buffer, std::size_t size) { return std::realloc(buffer, size); }

// The image, open in a copy that cfitsio may grow (a header that needs another block);
// closed without a word when a stamp fails half way.
class OpenFits {
 public:
  OpenFits(const std::vector<char>& bytes, const std::string& name, const std::string& camera)
      : name_(name), camera_(camera) {
    size_ = bytes.size();
    buffer_ = std::malloc(std::max<std::size_t>(size_, 1));
    if (!buffer_) throw std::bad_alloc();
    if (size_ != 0) std::memcpy(buffer_, bytes.data(), size_);
    int status = 0;
    fits_open_memfile(&file_, name.c_str(), READWRITE, &buffer_, &size_, 0, &grow, &status);
    if (status != 0) {
      if (file_) closeQuietly();
      std::free(buffer_);
      throw RunTimeError("the image of " + camera + " ('" + name + "') cannot be opened as FITS: " +
                         cfitsioMessage(status, name));
    }
  }
  ~OpenFits() {
    closeQuietly();
    std::free(buffer_);
  }
  OpenFits(const OpenFits&) = delete;
  OpenFits& operator=(const OpenFits&) = delete;

  fitsfile* get() const { return file_; }

  void check(int status) const {
    if (status != 0) {
      throw RunTimeError("cannot write the header of the image of " + camera_ + " ('" + name_ + "'): " +
                         cfitsioMessage(status, name_));
    }
  }

  // Closes the file and hands its bytes over.
  void close(std::vector<char>& bytes) {
    int status = 0;
    fits_close_file(file_, &status);
    file_ = nullptr;
    check(status);
    const char* data = static_cast<const char*>(buffer_);
    bytes.assign(data, data + size_);
  }

 private:
  void closeQuietly() {
    if (!file_) return;
    int status = 0;
    fits_close_file(file_, &status);
    file_ = nullptr;
    fits_clear_errmsg();
  }

  std::string name_, camera_;
  void* buffer_ = nullptr;  // malloc'ed: cfitsio reallocs it as the file grows
  std::size_t size_ = 0;
  fitsfile* file_ = nullptr;
};

// The value of a key as written (a string with its quotes), nothing when it is absent.
std::optional<std::string> rawValue(fitsfile* file, const char* key) {
  char value[FLEN_VALUE] = {};
  int status = 0;
  fits_write_errmark();
  fits_read_keyword(file, key, value, nullptr, &status);
  fits_clear_errmark();
  if (status != 0) return std::nullopt;
  return std::string(value);
}

// A string key's whole text (a long one goes on in CONTINUE cards), nothing when the key
// is absent or holds no string.
std::optional<std::string> stringValue(fitsfile* file, const char* key) {
  const std::optional<std::string> raw = rawValue(file, key);
  if (!raw || raw->empty() || raw->front() != '\'') return std::nullopt;
  char* text = nullptr;
  int status = 0;
  fits_write_errmark();
  fits_read_key_longstr(file, key, &text, nullptr, &status);
  fits_clear_errmark();
  std::optional<std::string> out;
  if (status == 0 && text) out = std::string(text);
  if (text) {
    int ignored = 0;
    fits_free_memory(text, &ignored);
  }
  return out;
}

std::optional<double> numberValue(fitsfile* file, const char* key) {
  std::optional<std::string> raw = rawValue(file, key);
  if (!raw || raw->empty() || raw->front() == '\'') return std::nullopt;
  for (char& c : *raw)
    if (c == 'D' || c == 'd') c = 'E';  // FITS allows a D exponent
  char* end = nullptr;
  const double value = std::strtod(raw->c_str(), &end);
  while (end && *end == ' ') ++end;
  if (end == raw->c_str() || (end && *end != '\0') || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool sameNumber(double a, double b) { return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b)); }

class Stamp {
 public:
  Stamp(OpenFits& fits, std::vector<std::string>& written) : fits_(fits), written_(written) {}

  void text(const char* key, const std::string& value, const char* comment) {
    if (stringValue(fits_.get(), key) == value) return;
    int status = 0;
    fits_update_key_longstr(fits_.get(), key, value.c_str(), comment, &status);
    fits_.check(status);
    written_.push_back(key);
  }

  void number(const char* key, double value, const char* comment) {
    const std::optional<double> now = numberValue(fits_.get(), key);
    if (now && sameNumber(*now, value)) return;
    int status = 0;
    fits_update_key_dbl(fits_.get(), key, value, -15, comment, &status);
    fits_.check(status);
    written_.push_back(key);
  }

  void whole(const char* key, long value, const char* comment) {
    const std::optional<double> now = numberValue(fits_.get(), key);
    if (now && sameNumber(*now, static_cast<double>(value))) return;
    int status = 0;
    fits_update_key_lng(fits_.get(), key, value, comment, &status);
    fits_.check(status);
    written_.push_back(key);
  }

  void remove(const char* key) {
    if (!rawValue(fits_.get(), key)) return;
    int status = 0;
    fits_delete_key(fits_.get(), key, &status);
    fits_.check(status);
    written_.push_back(key);
  }

 private:
  OpenFits& fits_;
  std::vector<std::string>& written_;
};

// The driver's DATE-OBS, when it reads as a UTC instant: seconds since 1970.
std::optional<double> driverStart(fitsfile* file) {
  std::optional<std::string> text = stringValue(file, "DATE-OBS");
  if (!text) return std::nullopt;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, status = 0;
  double second = 0;
  fits_write_errmark();
  fits_str2time(text->data(), &year, &month, &day, &hour, &minute, &second, &status);
  fits_clear_errmark();
  if (status != 0) return std::nullopt;
  return unixFromCivilUtc(CivilTime{year, month, day, hour, minute, second});
}

}  // namespace

std::string sexagesimalHours(double hours) {
  long long total = std::llround(hours * 3600.0) % 86400;
  if (total < 0) total += 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02lld %02lld %02lld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

std::string sexagesimalDegrees(double degrees) {
  const long long total = std::llround(std::fabs(degrees) * 3600.0);
  const char sign = degrees < 0 && total != 0 ? '-' : '+';
  char text[24];
  std::snprintf(text, sizeof text, "%c%02lld %02lld %02lld", sign, total / 3600, total / 60 % 60, total % 60);
  return text;
}

std::string isoUtcMilliseconds(double unixSeconds) {
  const long long ms = std::llround(unixSeconds * 1000.0);
  std::time_t whole = static_cast<std::time_t>(ms / 1000);
  long long fraction = ms % 1000;
  if (fraction < 0) {
    fraction += 1000;
    --whole;
  }
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03lld", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
  return text;
}

std::vector<std::string> stampImageHeader(std::vector<char>& bytes, const std::string& name,
                                          const ImageHeader& header) {
  OpenFits fits(bytes, name, header.instrument);
  std::vector<std::string> written;
  Stamp stamp(fits, written);
  stamp.text("OBJECT", header.object, "Target name");
  stamp.number("EXPTIME", header.exposure, "Exposure time in seconds");
  const std::optional<double> start = driverStart(fits.get());
  if (!start || std::fabs(*start - header.start) > kDriverStartTolerance)
    stamp.text("DATE-OBS", isoUtcMilliseconds(header.start), "UTC start of the exposure");
  if (header.filter.empty()) {
    stamp.remove("FILTER");
  } else {
    stamp.text("FILTER", header.filter, "Filter name");
  }
  stamp.whole("XBINNING", header.binning, "Binning in x");
  stamp.whole("YBINNING", header.binning, "Binning in y");
  stamp.text("OBJCTRA", sexagesimalHours(header.raHours), "Target J2000 right ascension, h m s");
  stamp.text("OBJCTDEC", sexagesimalDegrees(header.decDegrees), "Target J2000 declination, d m s");
  stamp.number("SITELAT", header.latitude, "Site latitude in degrees, north positive");
  stamp.number("SITELONG", header.longitude, "Site longitude in degrees, east positive");
  stamp.text("TELESCOP", header.telescope, "The mount");
  stamp.text("INSTRUME", header.instrument, "The camera");
  stamp.text("IMAGETYP", "Light Frame", "Frame type");
  if (written.empty()) return written;  // the bytes stay as they came
  fits.close(bytes);
  return written;
}

}  // namespace np::indi
