#pragma once
// What the routines of a night are given from outside: the host's objects, the files, the
// clock, the window's event processing, message boxes and status line, the number locale
// and the program folder. The start button's handler fills one at the start of a run;
// tests and the headless tools fill their own. Every routine takes it whole and decides
// on the values it is handed beside it.
#include <functional>
#include <string>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/Ui.h"
#include "host/HostInterfaces.h"
#include "base/NumberText.h"

namespace np {

struct Services {
  IUtil& util;
  ITelescope& telescope;
  IApplication& acpApp;
  IEphemerisFactory& ephemeris;  // Earth ephemerides and position vectors
  FileSystem& files;
  const Clock& clock;
  EventPump& events;
  MessageSink& messages;
  std::function<void(const std::string&)> setStatusText;  // the status line
  NumberLocale locale;         // numbers in the run log and the status line
  std::string programFolder;   // holds targets.txt and config.ini; ends with the path separator
};

}  // namespace np
