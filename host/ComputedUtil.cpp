#include "host/ComputedUtil.h"

#include "base/Errors.h"
#include "host/SkyMath.h"

namespace np {
namespace {

class CoordinateTransform : public ICoordinateTransform {
 public:
  CoordinateTransform(double localSiderealTime, double latitude) : lst_(localSiderealTime), latitude_(latitude) {}
  void setRightAscension(double hours) override {
    ra_ = hours;
    raSet_ = true;
    known_ = false;
  }
  void setDeclination(double degrees) override {
    dec_ = degrees;
    decSet_ = true;
    known_ = false;
  }
  double Elevation() override { return position("Elevation").elevation; }
  double Azimuth() override { return position("Azimuth").azimuth; }

 private:
  // Elevation and azimuth come out of one conversion, made once for the coordinates set.
  const Horizontal& position(const char* member) {
    if (!raSet_ || !decSet_) {
      throw RunTimeError(std::string(member) + ": the right ascension and the declination are not both set");
    }
    if (!known_) {
      position_ = horizontalFromHourAngle(lst_ - ra_, dec_, latitude_);
      known_ = true;
    }
    return position_;
  }

  double lst_;
  double latitude_;
  double ra_ = 0.0, dec_ = 0.0;
  bool raSet_ = false, decSet_ = false;
  bool known_ = false;
  Horizontal position_;
};

}  // namespace

ComputedUtil::ComputedUtil(Clock& clock) : clock_(clock) {}

std::unique_ptr<ICoordinateTransform> ComputedUtil::NewCTHereAndNow() {
  return std::make_unique<CoordinateTransform>(siderealNow(), siteLatitude());
}

double ComputedUtil::HMS_Hours(const std::string& text) { return parseSexagesimal(text, "HMS_Hours"); }
double ComputedUtil::DMS_Degrees(const std::string& text) { return parseSexagesimal(text, "DMS_Degrees"); }

double ComputedUtil::HourAngle12(double rightAscension) { return hourAngle12(rightAscension, siderealNow()); }
double ComputedUtil::HourAngle12(double rightAscension, double localSiderealTime) {
  return hourAngle12(rightAscension, localSiderealTime);
}

double ComputedUtil::SysJulianDate() { return clock_.julianDateUtc(); }
double ComputedUtil::Julian_GMST(double julianDate) { return greenwichMeanSiderealHours(julianDate); }
double ComputedUtil::Date_Julian(DateTime local) {
  return local.serial + kSerialEpochJD - clock_.utcOffsetHours() / 24.0;
}
DateTime ComputedUtil::Julian_Date(double julianDate) {
  return DateTime{julianDate - kSerialEpochJD + clock_.utcOffsetHours() / 24.0};
}
std::string ComputedUtil::FormatVar(DateTime value, const std::string& format) {
  if (format != "General Date") throw RunTimeError("FormatVar: unsupported format '" + format + "'");
  return formatGeneralDate(value);
}

double ComputedUtil::siderealNow() {
  const double jd = SysJulianDate();
  const double longitude = siteLongitude();
  if (!siderealKnown_ || jd != siderealJd_ || longitude != siderealLongitude_) {
    sidereal_ = localSiderealHours(jd, longitude);
    siderealJd_ = jd;
    siderealLongitude_ = longitude;
    siderealKnown_ = true;
  }
  return sidereal_;
}

}  // namespace np
