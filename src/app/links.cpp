#include "links.h"

EntryKind JudgeEntry(unsigned long named, unsigned long held, unsigned long links)
{
    // Wine opens the target of a Unix link even without following links,
    // and shows the link only by name: either side is enough.
    if (named == ENTRY_ATTRIBUTES_UNKNOWN || held == ENTRY_ATTRIBUTES_UNKNOWN ||
        ((named | held) & ENTRY_ATTRIBUTE_REPARSE_POINT))
        return ENTRY_LINK;
    // A name that changed kind between the listing and the open is not the
    // entry that was listed.
    if ((named ^ held) & ENTRY_ATTRIBUTE_DIRECTORY)
        return ENTRY_LINK;
    if (held & ENTRY_ATTRIBUTE_DIRECTORY)
        return ENTRY_FOLDER;
    return links > 1 ? ENTRY_SHARED_FILE : ENTRY_FILE;
}
