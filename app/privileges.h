// Whether the program runs with the rights it needs to talk to units: membership of the built-in
// Administrators alias on Windows NT-family systems, the root user on Linux (whose process token, as
// the system seam presents it, lists that alias exactly when the effective user is root).
#pragma once

#include "platform/win32_types.h"

class MessageArea;

// True for the platforms that need the rights: the NT family and Linux. Windows 9x needs none.
bool PlatformNeedsAdministrators(DWORD platformId);

// TRUE on a platform that needs no rights, or when the user is in the Administrators alias; FALSE
// otherwise and on any failure.
BOOL IsAdministrator(void);

// The update's first step, before the unit layer is touched: TRUE to go on. FALSE when the version
// query fails (nothing is shown) or when the platform needs rights the user lacks (4002 is shown).
BOOL CheckUpdatePrivileges(MessageArea& area);

// Looks for the alias S-1-5-32-<rid> among the process token's groups, whatever their attributes.
// TRUE when the test was made (*answer then tells), FALSE when it failed. A null answer fails with
// last error ERROR_INVALID_PARAMETER. Every handle and block is released on every path.
BOOL IsMemberOfAlias(DWORD rid, BOOL* answer);
