#include "app.h"

enum { TEXT_SLOTS = 8, TEXT_SIZE = 256 };

static char g_textRing[TEXT_SLOTS][TEXT_SIZE];
static int g_textIndex;

const char *LoadText(UINT id)
{
    if (++g_textIndex >= TEXT_SLOTS)
        g_textIndex = 0;
    char *slot = g_textRing[g_textIndex];
    // Cleared first, so that a missing id gives "" and not an old text.
    slot[0] = '\0';
    LoadStringA(g_hResources, id, slot, TEXT_SIZE);
    return slot;
}
