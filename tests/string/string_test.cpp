#include <gtest/gtest.h>

#include "core/string.h"

TEST(StringBasics, EmptyStateHasText)
{
    String s;
    EXPECT_STREQ("", s.CStr());
}
