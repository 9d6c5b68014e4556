// Uninstall: the driver, registry cleanup, shortcut removal and the
// self-removal script.
#ifndef MELVOX_UNINSTALL_H
#define MELVOX_UNINSTALL_H

#include <stdio.h>
#include <windows.h>

void RunUninstall();

#endif
