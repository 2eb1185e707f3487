// Allocatable arrays: creation, shape, indexing, release and the fatal paths.
#include <cstdint>

#include "core/array.hpp"
#include "shared_state.hpp"

namespace {

using namespace kestro;
using ArrayTest = SharedState;
using ArrayDeathTest = SharedState;

TEST_F(ArrayTest, DescriptorCarriesFixedTypeRankAndName) {
    const kestro_array &p = materialdata::peprops;
    EXPECT_EQ(p.rank, 3);
    EXPECT_EQ(p.type, KESTRO_TYPE_REAL8);
    EXPECT_EQ(p.elsize, 8);
    EXPECT_STREQ(p.name, "peprops");
    EXPECT_EQ(bukdata::bukintdatalist.rank, 4);
    EXPECT_EQ(bukdata::bukintdatalist.type, KESTRO_TYPE_INT4);
    EXPECT_EQ(bukdata::bukintdatalist.elsize, 4);
}

TEST_F(ArrayTest, CreateSetsExtentsAndZeroesEveryEntry) {
    auto &a = materialdata::peprops;
    EXPECT_FALSE(a.exists());
    EXPECT_EQ(a.size(), 0);
    // Dirty a block of the same size first so that a create that does not
    // clear would likely hand back the old contents.
    a.create(9, 40, 10);
    a.fill(7.5);
    a.drop();
    double *p = a.create(9, 40, 10);
    EXPECT_EQ(p, a.ptr());
    EXPECT_EQ(shape(a), (std::vector<int64_t>{9, 40, 10}));
    for (int d = 3; d < KESTRO_MAX_RANK; ++d) EXPECT_EQ(a.extent[d], 0);
    EXPECT_EQ(a.size(), 3600);
    EXPECT_EQ(kestro_array_size(&a), 3600);
    EXPECT_TRUE(all_zero(a));
}

TEST_F(ArrayTest, ZeroAndNegativeExtentsGiveAnEmptyArrayThatExists) {
    auto &a = materialdata::peprops;
    a.create(4, -2, 5);
    EXPECT_EQ(shape(a), (std::vector<int64_t>{4, 0, 5}));
    EXPECT_NE(a.data, nullptr);
    EXPECT_EQ(kestro_array_exists(&a), 1);
    EXPECT_EQ(kestro_array_size(&a), 0);
    EXPECT_TRUE(a.span().empty());

    auto &b = elementdata::elemlist;
    b.create(0);
    EXPECT_TRUE(b.exists());
    EXPECT_EQ(b.size(), 0);
}

TEST_F(ArrayTest, IndexingIsOneBasedColumnMajor) {
    auto &a = materialdata::peprops;
    a.create(3, 4, 5);
    for (int k = 1; k <= 5; ++k)
        for (int j = 1; j <= 4; ++j)
            for (int i = 1; i <= 3; ++i)
                ASSERT_EQ(&a(i, j, k) - a.ptr(), (i - 1) + 3 * ((j - 1) + 4 * (k - 1)))
                    << i << "," << j << "," << k;

    auto &b = bukdata::bukintdatalist;
    b.create(4, 2, 3, 2);
    EXPECT_EQ(&b(1, 1, 1, 1) - b.ptr(), 0);
    EXPECT_EQ(&b(2, 1, 1, 1) - b.ptr(), 1);
    EXPECT_EQ(&b(1, 2, 1, 1) - b.ptr(), 4);
    EXPECT_EQ(&b(1, 1, 2, 1) - b.ptr(), 8);
    EXPECT_EQ(&b(1, 1, 1, 2) - b.ptr(), 24);
    EXPECT_EQ(&b(4, 2, 3, 2) - b.ptr(), b.size() - 1);

    auto &c = elementdata::elemlist;
    c.create(3);
    c(3) = 42;
    EXPECT_EQ(c.ptr()[2], 42);
}

TEST_F(ArrayTest, DropLeavesTheArrayAbsentAndIsHarmlessWhenAbsent) {
    auto &a = nodaldata::tnodalmatrices;
    a.create(3, 3, 8, 2);
    a.drop();
    EXPECT_FALSE(a.exists());
    EXPECT_EQ(a.data, nullptr);
    for (int64_t e : a.extent) EXPECT_EQ(e, 0);
    EXPECT_EQ(kestro_array_size(&a), 0);
    kestro_array_drop(&a);
    EXPECT_FALSE(a.exists());
    // Absent again, so it may be created anew.
    a.create(1, 1, 1, 1);
    EXPECT_TRUE(a.exists());
}

TEST_F(ArrayTest, ReplaceCreatesOrRecreatesWithNewShape) {
    auto &a = elementdata::elemnodes;
    const int64_t first[] = {2, 3};
    kestro_array_replace(&a, first);  // absent: simply created
    EXPECT_EQ(shape(a), (std::vector<int64_t>{2, 3}));
    a.fill(9);
    const int64_t second[] = {4, 5};
    auto *p = static_cast<int32_t *>(kestro_array_replace(&a, second));
    EXPECT_EQ(p, a.ptr());
    EXPECT_EQ(shape(a), (std::vector<int64_t>{4, 5}));
    EXPECT_TRUE(all_zero(a));
}

TEST_F(ArrayTest, RetainedStorageOutlivesDrop) {
    auto &a = elementdata::elemlist;
    a.create(4);
    a(4) = 11;
    int32_t *held = a.ptr();
    detail::retain_block(held);
    a.drop();
    EXPECT_FALSE(a.exists());
    EXPECT_EQ(held[3], 11);  // a use-after-free under AddressSanitizer if drop freed it
    held[0] = 5;
    detail::release_block(held);
    detail::retain_block(nullptr);
    detail::release_block(nullptr);
}

TEST_F(ArrayDeathTest, CreatingAnExistingArrayEndsTheProcess) {
    elementdata::elemlist.create(2);
    EXPECT_EXIT(elementdata::elemlist.create(2), ::testing::ExitedWithCode(1),
                "Attempting to allocate already allocated variable 'elemlist'");
}

TEST_F(ArrayDeathTest, OverflowingSizeEndsTheProcess) {
    const char *msg = "Integer overflow when calculating the amount of memory to allocate";
    // Product of the extents overflows.
    EXPECT_EXIT(materialdata::peprops.create(int64_t{1} << 30, int64_t{1} << 30, int64_t{1} << 10),
                ::testing::ExitedWithCode(1), msg);
    // The element count fits, the byte count does not.
    EXPECT_EXIT(elementdata::elemlist.create(int64_t{1} << 62), ::testing::ExitedWithCode(1), msg);
    // The byte count fits in 64 bits but exceeds what an object may span.
    EXPECT_EXIT(materialdata::peprops.create(int64_t{1} << 30, int64_t{1} << 30, 1),
                ::testing::ExitedWithCode(1), msg);
    // The byte count fits, adding the block header does not.
    EXPECT_EXIT(materialdata::peprops.create((int64_t{1} << 61) - 1, 1, 1), ::testing::ExitedWithCode(1),
                msg);
}

TEST_F(ArrayDeathTest, FailedAllocationEndsTheProcess) {
    // 2^48 four-byte entries: 2^50 bytes, no overflow but far beyond any address space.
    EXPECT_EXIT(elementdata::elemlist.create(int64_t{1} << 48), ::testing::ExitedWithCode(1),
                "Error allocating 1125899906842624 bytes");
    // The library's own work buffers end the same way instead of throwing.
    EXPECT_EXIT(
        {
            volatile char *block = new char[std::size_t{1} << 50];
            block[0] = 1;
            delete[] block;
        },
        ::testing::ExitedWithCode(1), "Error allocating 1125899906842624 bytes");
}

}  // namespace
