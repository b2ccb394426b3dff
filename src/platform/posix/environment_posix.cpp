#include <stdlib.h>
#include <time.h>

#include "platform/environment.h"

void SetEnvironmentValue(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void RemoveEnvironmentValue(const std::string& name) { ::unsetenv(name.c_str()); }

void ReloadTimeZone() { ::tzset(); }

std::tm UtcTimeOf(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  return parts;
}

std::tm LocalTimeOf(std::time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  return parts;
}
