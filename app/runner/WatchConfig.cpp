#include "app/runner/WatchConfig.h"

#include <cctype>
#include <charconv>

#include "base/Errors.h"
#include "base/NumberText.h"

namespace np {

namespace {

std::string trimmed(const std::string& text) {
  std::size_t a = 0, b = text.size();
  while (a < b && std::isspace(static_cast<unsigned char>(text[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1]))) --b;
  return text.substr(a, b - a);
}

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

[[noreturn]] void bad(const std::string& sourceName, const std::string& key, int line, const std::string& why) {
  throw RunTimeError(sourceName + " line " + std::to_string(line) + ": key '" + key + "': " + why);
}

// Every key of `section` must be one of `known`.
void checkKeys(const ObservatoryConfig& config, const std::string& sourceName, const std::string& section,
               const std::set<std::string>& known) {
  for (const auto& [key, value] : config.programKeys) {
    if (key.rfind(section + ".", 0) != 0 || known.count(key)) continue;
    throw RunTimeError(sourceName + " line " + std::to_string(value.line) + ": unknown key '" + key + "'");
  }
}

const ObservatoryConfig::ProgramKey* find(const ObservatoryConfig& config, const std::string& key) {
  auto it = config.programKeys.find(key);
  return it == config.programKeys.end() ? nullptr : &it->second;
}

}  // namespace

NotifyConfig readNotifyConfig(const ObservatoryConfig& config, const std::string& sourceName) {
  checkKeys(config, sourceName, "notify", {"notify.command", "notify.events", "notify.timeout"});
  NotifyConfig notify;
  for (std::size_t i = 0; i < kNightEventNames.size(); ++i) notify.events.insert(static_cast<NightEventKind>(i));
  if (const auto* key = find(config, "notify.command")) notify.command = key->value;
  if (const auto* key = find(config, "notify.events"); key && lowered(trimmed(key->value)) != "all") {
    notify.events.clear();
    std::size_t pos = 0;
    const std::string& list = key->value;
    while (pos <= list.size()) {
      const std::size_t comma = std::min(list.find(',', pos), list.size());
      const std::string name = lowered(trimmed(list.substr(pos, comma - pos)));
      const std::optional<NightEventKind> kind = nightEventNamed(name);
      if (!kind) {
        std::string known;
        for (std::string_view n : kNightEventNames) known += (known.empty() ? "" : ", ") + std::string(n);
        bad(sourceName, "notify.events", key->line, "'" + name + "' is not an event (all, or some of: " + known + ")");
      }
      notify.events.insert(*kind);
      pos = comma + 1;
    }
  }
  if (const auto* key = find(config, "notify.timeout")) {
    const std::optional<double> seconds = parseStrictDecimal(key->value);
    if (!seconds || !(*seconds > 0) || *seconds > 86400)
      bad(sourceName, "notify.timeout", key->line, "'" + key->value + "' must be a number of seconds above 0, at most 86400");
    notify.timeout = *seconds;
  }
  return notify;
}

StatusConfig readStatusConfig(const ObservatoryConfig& config, const std::string& sourceName) {
  checkKeys(config, sourceName, "status", {"status.listen"});
  StatusConfig status;
  const auto* key = find(config, "status.listen");
  if (!key) return status;
  status.enabled = true;
  if (key->value.empty()) return status;
  // ADDRESS:PORT, the address an IPv4 one or a name; [v6]:PORT for IPv6.
  const std::string& value = key->value;
  const std::size_t colon = value.rfind(':');
  if (colon == std::string::npos || colon == 0)
    bad(sourceName, "status.listen", key->line, "'" + value + "' is not ADDRESS:PORT (for example 127.0.0.1:8624)");
  std::string address = value.substr(0, colon);
  if (address.front() == '[' && address.back() == ']') address = address.substr(1, address.size() - 2);
  const std::string port = value.substr(colon + 1);
  int number = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (address.empty() || ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535)
    bad(sourceName, "status.listen", key->line, "'" + value + "' is not ADDRESS:PORT with a port from 1 to 65535");
  status.address = address;
  status.port = number;
  return status;
}

}  // namespace np
