#include <stdlib.h>
#include <time.h>

#include "platform/environment.h"

// The C runtime's copy of the environment, which getenv and _tzset read.
void SetEnvironmentValue(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
}

void RemoveEnvironmentValue(const std::string& name) { ::_putenv_s(name.c_str(), ""); }

void ReloadTimeZone() { ::_tzset(); }

std::tm UtcTimeOf(std::time_t when) {
  std::tm parts{};
  gmtime_s(&parts, &when);
  return parts;
}

std::tm LocalTimeOf(std::time_t when) {
  std::tm parts{};
  localtime_s(&parts, &when);
  return parts;
}
