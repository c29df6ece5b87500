#include <gtest/gtest.h>
int VeltPlaceholder();
TEST(Smoke, Runs) { EXPECT_EQ(1, VeltPlaceholder()); }
