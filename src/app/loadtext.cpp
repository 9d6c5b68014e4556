#include "app.h"

#include "../resources/resource.h"

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
    // A language module made before a text existed lacks it; that text
    // then comes from the program's own resources rather than empty.
    if (LoadStringA(g_hResources, id, slot, TEXT_SIZE) <= 0 && id >= IDS_NEWER_TEXTS &&
        g_hResources != g_hProgram) {
        slot[0] = '\0';
        LoadStringA(g_hProgram, id, slot, TEXT_SIZE);
    }
    // A text cut at the slot's end keeps whole characters only.
    TrimBrokenCharacter(slot);
    return slot;
}
