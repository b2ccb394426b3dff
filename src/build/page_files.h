#pragma once

#include <string>

// True when a generated page file holds code of the user: a stub of a form
// handler or dynamic function whose body has more than the generated
// placeholder (blank lines aside). False for a file without such a stub, and
// for one that cannot be read.
bool PageFileHoldsUserCode(const std::string& path);
