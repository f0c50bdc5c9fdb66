// Night timing of the main window: dawn, dusk and the Sun's position for the window's
// host objects and Earth ephemeris.
#include "app/FrmMain.h"
#include "night/Twilight.h"

namespace np {

namespace {

IEphemeris& earthOf(std::unique_ptr<IEphemeris>& earthEphem, const char* member) {
  if (!earthEphem) throw RunTimeError(std::string(member) + ": the Earth ephemeris has not been created");
  return *earthEphem;
}

}  // namespace

DateTime frmMain::NextDawnDusk(float& H0, bool DoDawn) {
  if (!util || !telescope) throw RunTimeError("NextDawnDusk: the host objects have not been created");
  return np::NextDawnDusk(*util, *telescope, earthOf(earthEphem, "NextDawnDusk"), platform().ephemeris, H0, DoDawn);
}

void frmMain::SunEphem(double JD, double& RA, double& Dec) {
  np::SunEphem(earthOf(earthEphem, "SunEphem"), platform().ephemeris, JD, RA, Dec);
}

double frmMain::Arccos(double x) { return np::Arccos(x); }

}  // namespace np
