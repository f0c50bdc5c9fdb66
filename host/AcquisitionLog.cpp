#include "host/AcquisitionLog.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "base/Errors.h"
#include "base/NumberText.h"
#include "host/UtcTime.h"

namespace np {
namespace {

std::string clean(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string formatSeconds(double seconds) { return formatPrintfGeneral(seconds, 15); }

std::string formatAngle(double degrees) { return formatPrintfFixed(degrees, 3); }

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (true) {
    std::size_t tab = line.find('\t', pos);
    fields.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
    if (tab == std::string::npos) return fields;
    pos = tab + 1;
  }
}

double readNumber(const std::string& text, const char* what) {
  const std::optional<double> d = parseStrictDecimal(text);
  if (!d) throw RunTimeError(std::string("cannot read the ") + what + " '" + text + "'");
  return *d;
}

}  // namespace

std::string formatAcquisitionEvent(const AcquisitionEvent& e) {
  std::string line = formatUtc(e.utc) + '\t' + e.kind;
  auto add = [&](const std::string& field) { line += '\t' + clean(field); };
  if (e.kind == acqlog::kStart || e.kind == acqlog::kIgnored) {
    add(e.text);
  } else if (e.kind == acqlog::kAutofocus) {
    add(formatSeconds(e.seconds));
  } else if (e.kind == acqlog::kExposure) {
    add(e.text);
    add(formatSeconds(e.seconds));
    add(formatAngle(e.elevation));
    add(formatAngle(e.azimuth));
    if (!e.file.empty()) add(e.file);
  } else if (e.kind == acqlog::kSkipped) {
    add(e.text);
    add(e.reason);
    add(formatAngle(e.elevation));
    add(formatAngle(e.azimuth));
  } else if (e.kind == acqlog::kEnd) {
    add(e.reason);
    if (e.reason == acqlog::kEndError) add(e.detail);
  } else if (e.kind == acqlog::kFlip) {
    add(e.text);
    add(formatAngle(e.hourAngle));
    if (!e.pierSide.empty()) add(e.pierSide);
  }
  return line;
}

AcquisitionEvent parseAcquisitionEvent(const std::string& line) {
  std::vector<std::string> f = splitTabs(line);
  if (f.size() < 2) throw RunTimeError("no kind after the time");
  AcquisitionEvent e;
  e.time = f[0];
  if (!parseUtcInstant(e.time, e.utc)) throw RunTimeError("cannot read the time '" + e.time + "'");
  e.kind = f[1];
  auto expect = [&](std::size_t fields) {
    if (f.size() != fields + 2) {
      throw RunTimeError(e.kind + " takes " + std::to_string(fields) + " fields, the line has " +
                         std::to_string(f.size() - 2));
    }
  };
  if (e.kind == acqlog::kStart || e.kind == acqlog::kIgnored) {
    expect(1);
    e.text = f[2];
  } else if (e.kind == acqlog::kAutofocus) {
    expect(1);
    e.seconds = readNumber(f[2], "seconds");
  } else if (e.kind == acqlog::kExposure) {
    if (f.size() != 6 && f.size() != 7) {
      throw RunTimeError(e.kind + " takes 4 or 5 fields, the line has " + std::to_string(f.size() - 2));
    }
    e.text = f[2];
    e.seconds = readNumber(f[3], "seconds");
    e.elevation = readNumber(f[4], "elevation");
    e.azimuth = readNumber(f[5], "azimuth");
    if (f.size() == 7) {
      if (f[6].empty()) throw RunTimeError("EXPOSURE with an empty file field");
      e.file = f[6];
    }
  } else if (e.kind == acqlog::kSkipped) {
    expect(4);
    e.text = f[2];
    e.reason = f[3];
    e.elevation = readNumber(f[4], "elevation");
    e.azimuth = readNumber(f[5], "azimuth");
  } else if (e.kind == acqlog::kEnd) {
    if (f.size() < 3) throw RunTimeError("END without a reason");
    e.reason = f[2];
    if (e.reason == acqlog::kEndError) {
      expect(2);
      e.detail = f[3];
    } else {
      expect(1);
    }
  } else if (e.kind == acqlog::kFlip) {
    if (f.size() != 4 && f.size() != 5) {
      throw RunTimeError(e.kind + " takes 2 or 3 fields, the line has " + std::to_string(f.size() - 2));
    }
    e.text = f[2];
    e.hourAngle = readNumber(f[3], "hour angle");
    if (f.size() == 5) {
      if (f[4].empty()) throw RunTimeError("FLIP with an empty pier side field");
      e.pierSide = f[4];
    }
  } else if (e.kind == acqlog::kPark || e.kind == acqlog::kUnpark) {
    expect(0);
  } else {
    throw RunTimeError("unknown kind '" + e.kind + "'");
  }
  return e;
}

std::vector<AcquisitionEvent> readAcquisitionLog(const std::string& path) {
  std::vector<AcquisitionEvent> events;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return events;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RunTimeError("readAcquisitionLog: cannot open '" + path + "'");
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    try {
      events.push_back(parseAcquisitionEvent(line));
    } catch (const RunTimeError& error) {
      throw RunTimeError("readAcquisitionLog: '" + path + "' line " + std::to_string(number) + ": " + error.what());
    }
  }
  if (in.bad()) throw RunTimeError("readAcquisitionLog: cannot read '" + path + "'");
  return events;
}

}  // namespace np
