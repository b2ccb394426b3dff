#pragma once

// UTF-8 and the wide (UTF-16) text of Win32 calls, converted at the system's
// boundary: paths are UTF-8 everywhere above the platform layer.

#include <string>

namespace platform_detail {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide);
// errno for a Win32 error code (GetLastError), for the messages of the
// layers above.
int ErrnoFromWin32(unsigned long error);

}  // namespace platform_detail
