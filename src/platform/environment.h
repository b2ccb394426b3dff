#pragma once

#include <ctime>
#include <string>

// The process's environment and the calendar: what the C library of each
// system offers under different names.

void SetEnvironmentValue(const std::string& name, const std::string& value);
void RemoveEnvironmentValue(const std::string& name);
// Reads TZ again after it changed.
void ReloadTimeZone();

// A time as calendar parts in UTC and in the local time zone.
std::tm UtcTimeOf(std::time_t when);
std::tm LocalTimeOf(std::time_t when);
