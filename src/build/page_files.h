#pragma once

#include <string>

// True when a generated page file holds code of the user: a stub of a form
// handler or dynamic function whose body has more than the generated
// placeholder (blank lines aside). False for a file without such a stub or
// that does not exist; true for one that cannot be read through.
bool PageFileHoldsUserCode(const std::string& path);

// True when a page file holds the stub of a form handler ("Post_" + action).
// A form handler is made once for every page of the project that posts to
// its action, so the pages still in the tree may be using this one: such a
// file is never offered for deletion.
bool PageFileHoldsFormHandler(const std::string& path);
