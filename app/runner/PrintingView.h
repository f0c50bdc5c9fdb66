#pragma once
// The status line of a program without a window: every change printed as
// "<local time> <status text>" (YYYY-MM-DD HH:MM:SS of the clock's local time), a text
// that repeats the last one not printed again.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/MainWindowView.h"
#include "base/Clock.h"
#include "base/DateTime.h"
#include "report/NightReport.h"

namespace np {

class PrintingView : public MainWindowView {
 public:
  // `record`, when given, keeps every printed change as well (the night report's).
  // `flushEachLine`: each line goes out at once, for whoever follows the output as it
  // comes (a service's journal); otherwise the stream buffers as it likes.
  PrintingView(std::ostream& out, const Clock& clock, std::vector<StatusChange>* record = nullptr,
               bool flushEachLine = false)
      : out_(out), clock_(clock), record_(record), flushEachLine_(flushEachLine) {}

  void statusTextChanged(const std::string& text) override {
    if (last_ && *last_ == text) return;
    last_ = text;
    StatusChange change{clock_.unixSeconds(), clock_.nowLocal(), text};
    out_ << formatGeneralDate(change.local) << ' ' << text << '\n';
    if (flushEachLine_) out_.flush();
    if (observe_) observe_(change);
    if (record_) record_->push_back(std::move(change));
  }
  // Also hands every printed change to `observe` (a report that gathers as the run goes).
  void setObserver(std::function<void(const StatusChange&)> observe) { observe_ = std::move(observe); }
  void buttonStatesChanged() override {}
  void showPrefsDialog(frmPrefs&) override {}
  void unloadOtherWindows() override {}

 private:
  std::ostream& out_;
  const Clock& clock_;
  std::vector<StatusChange>* record_;
  bool flushEachLine_;
  std::optional<std::string> last_;
  std::function<void(const StatusChange&)> observe_;
};

}  // namespace np
