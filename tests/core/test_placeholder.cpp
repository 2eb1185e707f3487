#include <gtest/gtest.h>
#include "core/shared_data.hpp"
TEST(Placeholder, Build) { EXPECT_EQ(kestro::types::dp, 8); }
