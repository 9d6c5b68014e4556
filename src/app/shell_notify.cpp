#include "app.h"

#include <shlobj.h>

void NotifyAssociationsChanged()
{
    // The shell keeps the icons, verbs and handlers it has read for a type
    // until it is told; without this, Explorer shows the old owner's icon
    // and menu until it restarts.
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
}
