#include <sys/stat.h>

#include "testing/named_pipe.h"

bool MakeNamedPipe(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }
