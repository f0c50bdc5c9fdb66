#include "targets/PlanWriter.h"

#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "base/Errors.h"
#include "targets/RunLog.h"
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

std::optional<std::int16_t> updateTarget(const Services& services, TextWriter& log, Settings& settings,
                                         const std::function<void()>& saveConfig, DateTime quitTime,
                                         std::int64_t bestTargetstart) {
  services.setStatusText(kUpdatingStatus);
  // A list that is a symbolic link is rewritten where it really lives, so the user's
  // own file is the one updated (and the rename stays within one folder).
  const std::string listPath = services.files.ResolvedPath(services.programFolder + std::string(kTargetListName));
  const std::string newListPath =
      joinPath(std::filesystem::path(listPath).parent_path().string(), kNewTargetListName);

  ListReader input(services.files.OpenTextFile(listPath));
  std::unique_ptr<TextWriter> output = services.files.CreateTextFile(newListPath);
  std::unique_ptr<TextWriter> plan = services.files.CreateTextFile(planFilePath(services.util));
  log.WriteLine(kUpdatingLog);

  // Every line goes to the new list as read; the first one gets its byte-order mark
  // back, so the rewrite keeps the user's encoding while the plan never sees the mark.
  GroupReader groups;
  auto readLine = [&]() {
    std::string line = input.ReadLine();
    if (groups.linesRead() == 0 && !input.unreadableEncoding().empty())
      throw RunTimeError(input.unreadableEncodingMessage());
    return line;
  };
  auto copyLine = [&](const std::string& line) {
    if (groups.linesRead() == 1 && input.byteOrderMark()) {
      output->WriteLine(std::string(kUtf8ByteOrderMark) + line);
    } else {
      output->WriteLine(line);
    }
  };

  // The lines before the group; the list must have them (the reader fails past its end).
  for (std::int64_t i = 0; i < bestTargetstart; ++i) {
    const std::string line = readLine();
    groups.feed(line);
    copyLine(line);
  }

  plan->WriteLine("#QUITAT " + services.util.FormatVar(quitTime, "General Date"));

  if (autofocusDue(services.util.Date_Julian(services.clock.nowLocal()), settings.lastFocusJD,
                   settings.focusInterval)) {
    log.WriteLine(kAutofocusLog);
    plan->WriteLine("#autofocus");
    settings.lastFocusJD = services.util.Date_Julian(services.clock.nowLocal());
    saveConfig();
  }

  // The group's lines go to the plan up to the first delimiter line after its start,
  // which gets the lowered count; the rest of the list follows unchanged.
  bool inGroup = true;
  std::optional<std::int16_t> loweredCount;
  while (!input.AtEndOfStream()) {
    const std::string line = readLine();
    const bool closesGroup = groups.feed(line) != GroupReader::LineKind::Other;
    if (inGroup && closesGroup) {
      DelimiterItems items;
      if (parseDelimiterLine(services.messages, line, items)) {
        loweredCount = lowerCount(items.remaining);
        copyLine(rewrittenDelimiterLine(line, items, *loweredCount));
      } else {
        copyLine(line);  // an unreadable count is left for the user to mend
      }
      inGroup = false;
    } else {
      copyLine(line);
      if (inGroup) plan->WriteLine(line);
    }
  }
  input.Close();
  output->Close();
  // The plan is complete and on disk before the count goes down: a plan that cannot be
  // written costs no count.
  plan->Close();

  services.files.Replace(newListPath, listPath);
  if (loweredCount) log.WriteLine(remainingCountLine(*loweredCount));
  return loweredCount;
}

StoreTake takeFromStore(const Services& services, TextWriter& log, Settings& settings,
                        const std::function<void()>& saveConfig, DateTime quitTime, const std::string& listText,
                        std::int64_t bestTargetstart, ListStore& store) {
  services.setStatusText(kUpdatingStatus);
  ListReader input(std::make_unique<TextLines>(listText));
  GroupReader groups;
  for (std::int64_t i = 0; i < bestTargetstart && !input.AtEndOfStream(); ++i) groups.feed(input.ReadLine());

  // The group's lines up to its delimiter line, read as the list's rewrite reads it (its
  // items reported again).
  std::vector<std::string> groupLines;
  std::int64_t delimiterLine = 0;
  bool countRead = false;
  while (!input.AtEndOfStream()) {
    const std::string line = input.ReadLine();
    if (groups.feed(line) != GroupReader::LineKind::Other) {
      DelimiterItems items;
      countRead = parseDelimiterLine(services.messages, line, items);
      delimiterLine = groups.linesRead();
      break;
    }
    groupLines.push_back(line);
  }

  const bool focus =
      autofocusDue(services.util.Date_Julian(services.clock.nowLocal()), settings.lastFocusJD, settings.focusInterval);
  std::string planText;
  {
    std::unique_ptr<TextWriter> plan = services.files.CreateTextFile(planFilePath(services.util));
    auto planLine = [&](const std::string& line) {
      plan->WriteLine(line);
      planText += line + "\r\n";
    };
    planLine("#QUITAT " + services.util.FormatVar(quitTime, "General Date"));
    if (focus) planLine("#autofocus");
    for (const std::string& line : groupLines) planLine(line);
    // On disk before the run is taken: a plan that cannot be written costs no run.
    plan->Close();
  }

  StoreTake result;
  if (delimiterLine != 0 && countRead) {
    result.left = store.takeRun(delimiterLine, static_cast<std::int64_t>(services.clock.unixSeconds()), planText);
    if (!result.left) return result;
  }
  result.taken = true;
  log.WriteLine(kUpdatingLog);
  if (focus) {
    log.WriteLine(kAutofocusLog);
    settings.lastFocusJD = services.util.Date_Julian(services.clock.nowLocal());
    saveConfig();
  }
  if (result.left) log.WriteLine(remainingCountLine(*result.left));
  return result;
}

}  // namespace np
