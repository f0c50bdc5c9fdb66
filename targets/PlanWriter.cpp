#include "targets/PlanWriter.h"

#include <filesystem>
#include <limits>
#include <memory>

#include "base/Errors.h"
#include "targets/TargetList.h"

namespace np {

std::string planFilePath(IUtil& util) {
  return joinPath(util.Prefs().LocalUser().DefaultPlanDir(), kPlanFileName);
}

bool autofocusDue(double nowJD, double lastFocusJD, std::int16_t focusInterval) {
  return nowJD - lastFocusJD > static_cast<double>(focusInterval) * kMinutesToDays;
}

std::int16_t lowerCount(std::int16_t remaining) {
  if (remaining == std::numeric_limits<std::int16_t>::min()) return remaining;
  return static_cast<std::int16_t>(remaining - 1);
}

void updateTarget(PlanContext& context, const std::string& /*bestTarget*/, std::int64_t bestTargetstart) {
  updateTarget(context, bestTargetstart);
}

void updateTarget(PlanContext& context, std::int64_t bestTargetstart) {
  context.setStatusText(kUpdatingStatus);
  // A list that is a symbolic link is rewritten where it really lives, so the user's
  // own file is the one updated (and the rename stays within one folder).
  std::string listPath = context.programFolder;
  listPath.append(kTargetListName);
  listPath = context.files.ResolvedPath(listPath);
  const std::string newListPath =
      joinPath(std::filesystem::path(listPath).parent_path().string(), kNewTargetListName);

  ListReader input(context.files.OpenTextFile(listPath));
  std::unique_ptr<TextWriter> output = context.files.CreateTextFile(newListPath);
  std::unique_ptr<TextWriter> plan = context.files.CreateTextFile(planFilePath(context.util));
  context.log.WriteLine(kUpdatingStatus);

  // Every line goes to the new list as read; the first one gets its byte-order mark
  // back, so the rewrite keeps the user's encoding while the plan never sees the mark.
  bool firstLine = true;
  auto readLine = [&]() {
    std::string line = input.ReadLine();
    if (firstLine && !input.unreadableEncoding().empty()) throw RunTimeError(input.unreadableEncodingMessage());
    return line;
  };
  auto copyLine = [&](const std::string& line) {
    if (firstLine && input.byteOrderMark()) {
      output->WriteLine(std::string(kUtf8ByteOrderMark) + line);
    } else {
      output->WriteLine(line);
    }
    firstLine = false;
  };

  // The lines before the group; the list must have them (the reader fails past its end).
  for (std::int64_t i = 0; i < bestTargetstart; ++i) copyLine(readLine());

  plan->WriteLine("#QUITAT " + context.util.FormatVar(context.quitTime, "General Date"));

  if (autofocusDue(context.util.Date_Julian(context.clock.nowLocal()), context.settings.lastFocusJD,
                   context.settings.focusInterval)) {
    context.log.WriteLine("Performing autofocus on this target");
    plan->WriteLine("#autofocus");
    context.settings.lastFocusJD = context.util.Date_Julian(context.clock.nowLocal());
    context.saveConfig();
  }

  bool inGroup = true;  // until the chosen group's delimiter line has been handled
  std::string loweredCount;
  while (!input.AtEndOfStream()) {
    const std::string line = readLine();
    if (inGroup && isDelimiterLine(line)) {
      std::int16_t remaining = 0;
      if (parseTargetConfig(context.messages, line, remaining)) {
        loweredCount = std::to_string(lowerCount(remaining));
        copyLine("**** remaining=" + loweredCount);
      } else {
        copyLine(line);  // an unreadable count is left for the user to mend
      }
      inGroup = false;
    } else {
      copyLine(line);
    }
    if (inGroup) plan->WriteLine(line);
  }
  input.Close();
  output->Close();
  // The plan is complete and on disk before the count goes down: a plan that cannot be
  // written costs no count.
  plan->Close();

  context.files.Replace(newListPath, listPath);
  if (!loweredCount.empty()) context.log.WriteLine("Remaining count for best target = " + loweredCount);
}

}  // namespace np
