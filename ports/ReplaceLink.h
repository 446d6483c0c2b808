#pragma once

#include <string>

// Makes path a symbolic link to target in one step, as the document's save does for a file's bytes: the
// link is made beside it under a name of its own and renamed over it, so that path never leads nowhere
// (nor half way) while it changes, then the folder is synced so that the rename lasts. Only a link, or
// nothing, at path is replaced: anything else there is left as it is (EEXIST). 0 on success, otherwise the
// errno of the step that failed; nothing is left behind.
int ReplaceLink(const std::string& path, const std::string& target);
