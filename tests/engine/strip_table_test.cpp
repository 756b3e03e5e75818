#include "engine/strip_table.h"

#include <gtest/gtest.h>

TEST(StripTable, Placeholder) { SUCCEED(); }
