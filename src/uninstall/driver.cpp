#include "uninstall.h"

// Placeholder until the uninstall road lands.
void RunUninstall()
{
}
