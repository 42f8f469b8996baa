// The fields of a Start-menu link, set on the shell's link object before it is saved.
#pragma once

#include <shobjidl.h>

// Sets link's working folder, arguments (when not null), target and description, in that
// order. The first setter that fails ends it and its result is returned: a link missing one
// of them would start the program wrongly, so it is not saved.
HRESULT DescribeLink(IShellLinkA& link, const char* target, const char* workingFolder, const char* description,
                     const char* arguments);
