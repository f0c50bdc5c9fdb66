#include "targets/PlanWriter.h"

#include <limits>
#include <memory>

#include "targets/TargetList.h"

namespace np {

std::string planFilePath(IUtil& util) {
  return util.Prefs().LocalUser().DefaultPlanDir() + kPathSeparator + kPlanFileName;
}

bool autofocusDue(double nowJD, double lastFocusJD, std::int16_t focusInterval) {
  return nowJD - lastFocusJD > static_cast<double>(focusInterval) * kMinutesToDays;
}

std::int16_t lowerCount(std::int16_t remaining) {
  if (remaining == std::numeric_limits<std::int16_t>::min()) return remaining;
  return static_cast<std::int16_t>(remaining - 1);
}

void updateTarget(PlanContext& context, const std::string& /*bestTarget*/, std::int64_t bestTargetstart) {
  context.setStatusText(kUpdatingStatus);
  std::string listPath = context.programFolder;
  listPath.append(kTargetListName);
  std::string newListPath = context.programFolder;
  newListPath.append(kNewTargetListName);

  std::unique_ptr<TextReader> input = context.files.OpenTextFile(listPath);
  std::unique_ptr<TextWriter> output = context.files.CreateTextFile(newListPath);
  std::unique_ptr<TextWriter> plan = context.files.CreateTextFile(planFilePath(context.util));
  context.log.WriteLine(kUpdatingStatus);

  // The lines before the group; the list must have them (the reader fails past its end).
  for (std::int64_t i = 0; i < bestTargetstart; ++i) output->WriteLine(input->ReadLine());

  plan->WriteLine("#QUITAT " + context.util.FormatVar(context.quitTime, "General Date"));

  if (autofocusDue(context.util.Date_Julian(context.clock.nowLocal()), context.settings.lastFocusJD,
                   context.settings.focusInterval)) {
    context.log.WriteLine("Performing autofocus on this target");
    plan->WriteLine("#autofocus");
    context.settings.lastFocusJD = context.util.Date_Julian(context.clock.nowLocal());
    context.saveConfig();
  }

  bool inGroup = true;  // until the chosen group's delimiter line has been handled
  while (!input->AtEndOfStream()) {
    const std::string line = input->ReadLine();
    if (inGroup && isDelimiterLine(line)) {
      std::int16_t remaining = 0;
      if (parseTargetConfig(context.messages, line, remaining)) {
        const std::string count = std::to_string(lowerCount(remaining));
        output->WriteLine("**** remaining=" + count);
        context.log.WriteLine("Remaining count for best target = " + count);
      } else {
        output->WriteLine(line);  // an unreadable count is left for the user to mend
      }
      inGroup = false;
    } else {
      output->WriteLine(line);
    }
    if (inGroup) plan->WriteLine(line);
  }
  input->Close();
  output->Close();

  context.files.ReplaceFile(newListPath, listPath);
  plan->Close();
}

}  // namespace np
