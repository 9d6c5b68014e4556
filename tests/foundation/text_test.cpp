#include <gtest/gtest.h>
#include <string.h>

#include "app/text.h"

TEST(AddBackslash, EmptyGetsOne)
{
    char path[8] = "";
    AddBackslash(path);
    EXPECT_STREQ("\\", path);
}
