#include "testing/named_pipe.h"

// Windows has named pipes in their own namespace only, never in a folder.
bool MakeNamedPipe(const std::string&) { return false; }
