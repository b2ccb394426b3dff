#pragma once

#include <string>

// Makes a named pipe (FIFO) at path, for tests of files that are no regular
// files. False where the file system has none (Windows): the test skips.
bool MakeNamedPipe(const std::string& path);
