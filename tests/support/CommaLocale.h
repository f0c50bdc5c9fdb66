#pragma once
// A decimal-comma locale for tests of what the program reads and writes: the windowed
// program runs in the user's locale (the Qt application applies it at start-up).
#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>

namespace np::test {

#ifdef _WIN32
inline constexpr char kCommaLocale[] = "German_Germany.1252";
#else
inline constexpr char kCommaLocale[] = "de_DE.UTF-8";
#endif

// Puts the process's C and C++ global locales on kCommaLocale while it lives and restores
// both afterwards, also when an assertion ends the test early. On Windows only the C
// library's locale can be a named one (mingw's C++ library knows "C" alone), so that is
// the one a number read or written there can meet.
class CommaLocale {
 public:
  CommaLocale() : oldC_(std::setlocale(LC_ALL, nullptr)) {
#ifndef _WIN32
    try {
      std::locale::global(std::locale(kCommaLocale));
    } catch (const std::runtime_error&) {
      return;
    }
#endif
    active_ = std::setlocale(LC_ALL, kCommaLocale) != nullptr && *std::localeconv()->decimal_point == ',';
  }
  ~CommaLocale() {
    std::locale::global(oldCpp_);
    std::setlocale(LC_ALL, oldC_.c_str());
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // False when the locale is missing on this machine.
  bool active() const { return active_; }

 private:
  std::string oldC_;
  std::locale oldCpp_;  // the global locale at construction
  bool active_ = false;
};

}  // namespace np::test

// Ends a GoogleTest test that needs the locale when it is missing: it must not pass unseen.
#define ASSERT_COMMA_LOCALE(guard)                                                                  \
  ASSERT_TRUE((guard).active()) << "the locale " << ::np::test::kCommaLocale << " is not available: " \
                                << "run scripts/setup.sh"
