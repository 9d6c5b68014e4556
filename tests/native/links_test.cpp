// The decision on an entry met below the user's folders or in the install
// folder, for what Windows reports and Wine cannot make: junctions and
// symbolic links that show only by handle, hard links, and names that
// changed kind between the listing and the open.
#include <gtest/gtest.h>

#include "app/links.h"

namespace {

TEST(Links, WhatTheNameAndTheHandleTellDecide)
{
    const unsigned long F = 0x20, RO = ENTRY_ATTRIBUTE_READONLY, D = ENTRY_ATTRIBUTE_DIRECTORY,
                        R = ENTRY_ATTRIBUTE_REPARSE_POINT, NONE = ENTRY_ATTRIBUTES_UNKNOWN;
    const struct {
        const char *what;
        unsigned long named, held, links;
        EntryKind kind;
    } rows[] = {
        {"plain folder", D, D, 1, ENTRY_FOLDER},
        {"plain file", F, F, 1, ENTRY_FILE},
        {"read-only file", F | RO, F | RO, 1, ENTRY_FILE},
        {"junction, by handle and name", D | R, D | R, 1, ENTRY_LINK},
        {"Wine's folder link: the handle opens the target", D | R, D, 1, ENTRY_LINK},
        {"swapped in after the listing", D, D | R, 1, ENTRY_LINK},
        {"file symbolic link", F | R, F | R, 1, ENTRY_LINK},
        {"hard link", F | RO, F | RO, 2, ENTRY_SHARED_FILE},
        {"folder listed, file opened", D, F, 1, ENTRY_LINK},
        {"file listed, folder opened", F, D, 1, ENTRY_LINK},
        {"unreadable by name", NONE, F, 1, ENTRY_LINK},
        {"unreadable by handle", F, NONE, 1, ENTRY_LINK},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.kind, JudgeEntry(row.named, row.held, row.links)) << row.what;
}

} // namespace
