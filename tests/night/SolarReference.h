#pragma once
// An independent reckoning of the Sun's elevation and of the times it passes a given
// elevation, for checking the twilight computation. It takes a different route through
// ERFA on purpose: the Sun from the planetary theory eraPlan94 (not the Earth series
// eraEpv00), the full apparent place (aberration, precession-nutation, Earth rotation
// angle through eraApco13) and the observed place from eraAtioq with refraction
// switched off (zero pressure); the passage itself is found by scanning the elevation
// and bisecting on elevation(t) = H0.
#include <erfa.h>
#include <erfam.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

namespace np::test {

// A UTC Julian date as "YYYY-MM-DD HH.HHh UTC", for failure messages.
inline std::string when(double jd) {
  int y, m, d;
  double f;
  eraJd2cal(jd, 0.0, &y, &m, &d, &f);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %05.2fh UTC", y, m, d, f * 24.0);
  return buf;
}

// Observed (refraction-free) elevation of the Sun's centre in degrees, at the UTC
// Julian date `jd`, for a site at `latitude`, `longitude` (degrees, east positive).
inline double referenceSunElevation(double jd, double latitude, double longitude) {
  const double utc1 = std::floor(jd), utc2 = jd - std::floor(jd);
  eraASTROM astrom;
  double eo = 0.0;
  if (eraApco13(utc1, utc2, 0.0, longitude * ERFA_DD2R, latitude * ERFA_DD2R, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.55,
                &astrom, &eo) < 0) {
    throw std::runtime_error("eraApco13 failed");
  }
  double tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
  eraUtctai(utc1, utc2, &tai1, &tai2);
  eraTaitt(tai1, tai2, &tt1, &tt2);
  double emb[2][3];
  eraPlan94(tt1, tt2, 3, emb);  // heliocentric Earth-Moon barycentre, J2000 mean equator
  double towardSun[3] = {-emb[0][0], -emb[0][1], -emb[0][2]};
  double distance = 0.0, unit[3];
  eraPn(towardSun, &distance, unit);
  double apparent[3];
  eraAb(unit, astrom.v, astrom.em, astrom.bm1, apparent);
  double cirs[3];
  eraRxp(astrom.bpn, apparent, cirs);
  double ri = 0, di = 0;
  eraC2s(cirs, &ri, &di);
  double aob = 0, zob = 0, hob = 0, dob = 0, rob = 0;
  eraAtioq(eraAnp(ri), di, &astrom, &aob, &zob, &hob, &dob, &rob);
  return 90.0 - zob * ERFA_DR2D;
}

// The first moment after `fromJd`, within `days`, at which the reference elevation
// passes H0 rising (dawn) or setting (dusk), to about a second.
inline std::optional<double> referenceCrossing(double fromJd, double latitude, double longitude, double H0,
                                               bool dawn, double days = 2.0, double stepMinutes = 10.0) {
  auto f = [&](double jd) { return referenceSunElevation(jd, latitude, longitude) - H0; };
  const double step = stepMinutes / 1440.0;
  double t0 = fromJd, f0 = f(t0);
  for (double t1 = fromJd + step; t1 <= fromJd + days; t1 += step) {
    const double f1 = f(t1);
    if (dawn ? (f0 < 0.0 && f1 >= 0.0) : (f0 > 0.0 && f1 <= 0.0)) {
      double a = t0, b = t1;
      while (b - a > 1.0 / 86400.0) {
        const double m = 0.5 * (a + b);
        const double fm = f(m);
        if (dawn ? fm < 0.0 : fm > 0.0) a = m; else b = m;
      }
      return 0.5 * (a + b);
    }
    t0 = t1;
    f0 = f1;
  }
  return std::nullopt;
}

}  // namespace np::test
