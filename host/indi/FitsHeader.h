#pragma once
// What the primary header of every image says, whatever the camera's driver wrote: a
// pipeline reads the target, the filter, the time and the place from it, so Nightpick
// brings each of these keys to its own record before the image gets its final name.
#include <string>
#include <vector>

namespace np::indi {

// An image as Nightpick took it.
struct ImageHeader {
  std::string object;                   // OBJECT: the target's name in the plan
  double exposure = 0;                  // EXPTIME: seconds
  double start = 0;                     // DATE-OBS: the exposure's start, UTC seconds since 1970
  std::string filter;                   // FILTER as the plan spells it; empty: no FILTER key
  int binning = 1;                      // XBINNING, YBINNING
  double raHours = 0, decDegrees = 0;   // OBJCTRA, OBJCTDEC: J2000 as the plan gives them
  double latitude = 0, longitude = 0;   // SITELAT, SITELONG: degrees, east positive
  std::string telescope, instrument;    // TELESCOP, INSTRUME: the mount's and the camera's device names
};

// How far a driver's own DATE-OBS may lie from Nightpick's record of the start and be kept
// (it knows the moment the shutter opened; Nightpick the moment it asked).
inline constexpr double kDriverStartTolerance = 5.0;

// "HH MM SS" of hours and "+DD MM SS" of degrees, to the nearest whole second.
std::string sexagesimalHours(double hours);
std::string sexagesimalDegrees(double degrees);
// "YYYY-MM-DDTHH:MM:SS.sss" of UTC seconds since 1970.
std::string isoUtcMilliseconds(double unixSeconds);

// Brings the primary header of the FITS image `bytes` to `header`, in memory, before the
// image is written anywhere: a key that is missing or says otherwise is written (numbers
// compare with a small tolerance, strings exactly), a driver's DATE-OBS is kept when it
// parses and lies within kDriverStartTolerance of `header.start`, IMAGETYP is 'Light
// Frame', and FILTER goes when no filter is given. The image grows by a block when its
// header needs one; the pixels stay as they are, and an image whose header is right
// already is left byte for byte. Returns the keys it wrote or removed, in that order.
// Throws RunTimeError naming the camera's image (`name`, the file it is to be) and
// cfitsio's message when the bytes cannot be read as FITS or the header cannot be
// written; `bytes` are then unchanged.
std::vector<std::string> stampImageHeader(std::vector<char>& bytes, const std::string& name,
                                          const ImageHeader& header);

}  // namespace np::indi
