#pragma once
#include <string>
#include <vector>

namespace np {

// Logs/AcquireImages.log, the log of the acquisition that a host back end runs itself
// (the simulated observatory's, and any other back end's that runs plans on its own), is
// built to be read back by a program. One event per line, lines end in CR LF, fields are
// separated by TAB:
//
//   <UTC YYYY-MM-DD HH:MM:SS> TAB <KIND> [TAB <field>]...
//
//   START      plan path                         the script became active on a plan
//   IGNORED    directive line                    a plan directive the host does not know
//   AUTOFOCUS  seconds                           an autofocus finished (it took that long)
//   EXPOSURE   target, seconds, elevation, azimuth [, file]
//                                                an image finished; its exposure time,
//                                                where the target stood when it finished,
//                                                and the path of the image file when the
//                                                host saved one (the simulated observatory
//                                                saves none and never writes the field)
//   SKIPPED    target, reason, elevation, azimuth
//                                                a target below the limits at its turn;
//                                                reason kSkippedBelowMinimum or kSkippedBelowHorizon
//   END        reason [, error text]             the run ended: done, quit (#QUITAT),
//                                                aborted (AbortScript), weather (unsafe),
//                                                or error with the error's text
//   FLIP       target, hour angle [, pier side]  a German mount was flipped between two
//                                                exposures: the target's hour angle then
//                                                (degrees, west of the meridian positive)
//                                                and the pier side the mount reported
//                                                after it (none when it reports none)
//   PARK       -                                 the telescope was parked
//   UNPARK     -                                 the telescope was unparked
//
// Angles are degrees with three decimals; seconds in the shortest exact form. An END
// without a START means that the run never became active (no runplanonce.txt, a plan
// that could not be read, or an abort during the start delay). Fields never hold TAB,
// CR or LF (they are replaced by blanks when written).
namespace acqlog {
inline constexpr const char* kFileName = "AcquireImages.log";

inline constexpr const char* kStart = "START";
inline constexpr const char* kIgnored = "IGNORED";
inline constexpr const char* kAutofocus = "AUTOFOCUS";
inline constexpr const char* kExposure = "EXPOSURE";
inline constexpr const char* kSkipped = "SKIPPED";
inline constexpr const char* kEnd = "END";
inline constexpr const char* kFlip = "FLIP";
inline constexpr const char* kPark = "PARK";
inline constexpr const char* kUnpark = "UNPARK";

inline constexpr const char* kSkippedBelowMinimum = "below minimum elevation";
inline constexpr const char* kSkippedBelowHorizon = "below horizon";

inline constexpr const char* kEndDone = "done";
inline constexpr const char* kEndQuit = "quit";
inline constexpr const char* kEndAborted = "aborted";
inline constexpr const char* kEndWeather = "weather";
inline constexpr const char* kEndError = "error";
}  // namespace acqlog

// One line of AcquireImages.log.
struct AcquisitionEvent {
  double utc = 0.0;   // UTC seconds since 1970 of the line's time (whole seconds)
  std::string time;   // the line's time as written, "YYYY-MM-DD HH:MM:SS" UTC
  std::string kind;   // one of acqlog::kStart ... kUnpark, kFlip
  std::string text;   // START: plan path; EXPOSURE, SKIPPED, FLIP: target name; IGNORED: directive
  std::string reason; // SKIPPED: why; END: done, quit, aborted, weather or error
  std::string detail; // END with reason error: the error's text
  double seconds = 0.0;    // EXPOSURE: exposure seconds; AUTOFOCUS: seconds spent
  double elevation = 0.0;  // EXPOSURE, SKIPPED: degrees
  double azimuth = 0.0;    // EXPOSURE, SKIPPED: degrees from north through east
  std::string file;        // EXPOSURE: the image file's path; empty: none (the field is not written)
  double hourAngle = 0.0;  // FLIP: degrees, west positive
  std::string pierSide;    // FLIP: as the mount reported it; empty: none (the field is not written)
};

// The line of an event, without its line end; only the fields of its kind are written.
std::string formatAcquisitionEvent(const AcquisitionEvent& event);

// Reads a whole AcquireImages.log. A missing file holds no events; a line that cannot be
// read is a RunTimeError naming the file and the line number.
std::vector<AcquisitionEvent> readAcquisitionLog(const std::string& path);

// Reads one line (without its line end); throws RunTimeError naming the cause.
AcquisitionEvent parseAcquisitionEvent(const std::string& line);

}  // namespace np
