#pragma once

// What the file helpers of every system share (file_util.cpp) and what each
// system's own part (posix/, windows/) provides to them. Not for the layers
// above.

#include <string>

namespace platform_detail {

// Six random letters and digits for a temporary file's or folder's name.
std::string TempSuffix();

// The temporary files being written, for a signal or console handler to
// remove. PublishLiveTemp returns the slot (or -1 when every slot is taken or
// the path does not fit: the file is then only not removed on a signal).
int PublishLiveTemp(const std::string& path);
void WithdrawLiveTemp(int slot);
// Calls remove with each published path; safe in a signal handler when remove is.
void ForEachLiveTemp(void (*remove)(const char* path));
// Set once a handler has begun to end the process: a temporary file that
// another thread makes now must not outlive it.
void MarkEnding();
bool IsEnding();

// The working directory as the system gives it; "" when it cannot be had.
std::string SystemCurrentDirectory();

// Makes a directory only this user may enter; false with errno set (EEXIST
// when the name is taken).
bool MakePrivateDirectory(const std::string& path);

}  // namespace platform_detail
