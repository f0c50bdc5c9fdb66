// The start-up routine: builds the platform the program runs on (the host of the
// observatory folder, the ephemeris, files, event processing, message boxes), loads the
// main window and shows it.
#include <QApplication>
#include <QLocale>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/FrmMain.h"
#include "app/qt/MainWindow.h"
#include "app/qt/QtMessageSink.h"
#include "host/ErfaEphemeris.h"
#include "base/FileSystem.h"
#include "night/qt/QtEventPump.h"
#include "app/runner/OpenHost.h"
#include "app/runner/ListConfig.h"
#include "app/runner/Notifier.h"
#include "app/runner/WatchConfig.h"
#include "base/Paths.h"
#include "host/HostSkeleton.h"
#include <iostream>

namespace {

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// Without a display there is no window to show.
int runWithoutDisplay(int /*argc*/, char** /*argv*/) {
  std::fputs(
      "nightpick: no display available; the program needs a window system "
      "(an X11 or Wayland display)\n",
      stderr);
  return 1;
}

// The running executable; its folder is the program folder.
std::string executablePath() {
  std::string path = QCoreApplication::applicationFilePath().toStdString();
  if (path.empty()) {
    std::error_code ec;
    path = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  }
  return path;
}

np::NumberLocale systemNumberLocale() {
  np::NumberLocale locale;
  const QString point = QLocale::system().decimalPoint();
  if (point.size() == 1 && point.at(0).unicode() < 0x80) locale.decimalSeparator = static_cast<char>(point.at(0).unicode());
  return locale;
}

// Everything lives in this scope: the window goes first, the host objects after it.
int runWindowed(QApplication& app, np::MessageSink& messages) {
  const std::string exe = executablePath();
  // The host and its clock (at the observatory's clock.speed) go last but for the file
  // system, which the host writes through.
  np::LocalFileSystem files;
  np::OpenedHost opened = np::openHost(np::programFolderOf(exe) + "observatory", files);
  np::ErfaEphemerisFactory ephemeris;
  np::QtEventPump events(*opened.clock);

  np::Platform platform{*opened.host, ephemeris, files, *opened.clock, messages, events, systemNumberLocale(), exe};
  // The events of its runs to the [notify] command, as nightpick-headless sends them (the
  // night's summary without its report, which only the programs without a window keep).
  np::NotifyConfig notify;
  if (opened.skeleton)
    notify = np::readNotifyConfig(opened.skeleton->config(), np::joinPath(opened.hostFolder, np::kObservatoryIniName));
  notify.events.erase(np::NightEventKind::NightSummary);
  const np::Clock& clock = *opened.clock;
  np::Notifier notifier(notify, np::withoutSeparator(np::programFolderOf(exe)), [&clock] { return clock.unixSeconds(); },
                        nullptr, std::cerr);
  // A fleet member observes from the list it shares with the other observatories.
  std::unique_ptr<np::LastReadList> sharedList;
  if (opened.skeleton)
    sharedList = np::openSharedList(
        np::readListConfig(opened.skeleton->config(), np::joinPath(opened.hostFolder, np::kObservatoryIniName)));
  np::frmMain form(platform);
  form.nightEvents = &notifier;
  form.listStore = sharedList.get();
  // The window's load: a host that cannot be created ends the program before any
  // window shows.
  form.Form_Load();
  np::MainWindow window(form);
  window.show();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  np::registerBackEnds();
  if (!displayAvailable()) return runWithoutDisplay(argc, argv);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Nightpick"));
  // The program ends when the main window has closed and any night run has ended; the
  // window says when.
  QApplication::setQuitOnLastWindowClosed(false);

  np::QtMessageSink messages;
  try {
    return runWindowed(app, messages);
  } catch (const std::exception& e) {
    messages.showMessage(np::runTimeErrorMessage(e.what()));
  } catch (...) {
    messages.showMessage(np::runTimeErrorMessage("unknown error"));
  }
  return 1;
}
