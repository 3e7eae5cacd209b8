// Big blocks: allocation and the large-page advice.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "port/bigmem.h"

namespace {
// Fills n bytes with a pattern of the offset and seed; true when they hold it.
void fill(unsigned char* p, size_t n, unsigned seed)
{
    for (size_t i = 0; i < n; i++) p[i] = (unsigned char)(i * 131 + (i >> 12) + seed);
}
bool holds(const unsigned char* p, size_t n, unsigned seed)
{
    for (size_t i = 0; i < n; i++)
        if (p[i] != (unsigned char)(i * 131 + (i >> 12) + seed)) return false;
    return true;
}
const size_t MB = 1 << 20;
}

// The mesh grows and trims its arrays with realloc and releases them with
// free, whatever made them: big blocks must be ordinary heap blocks.
TEST(Bigmem, BlocksOfEverySizeAreOrdinaryHeapBlocks)
{
    for (size_t n : {(size_t)1, (size_t)4095, 2 * MB - 1, 2 * MB, 2 * MB + 1, 9 * MB + 3}) {
        SCOPED_TRACE(n);
        unsigned char* p = (unsigned char*)bigmem_alloc(n);
        ASSERT_NE(p, nullptr);
        fill(p, n, 7);
        unsigned char* q = (unsigned char*)std::realloc(p, n + 3 * MB);  // grown: kept
        ASSERT_NE(q, nullptr);
        EXPECT_TRUE(holds(q, n, 7));
        bigmem_advise(q + n, 3 * MB);
        fill(q, n + 3 * MB, 9);
        EXPECT_TRUE(holds(q, n + 3 * MB, 9));
        unsigned char* r = (unsigned char*)std::realloc(q, n / 2 + 1);  // trimmed: kept
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(holds(r, n / 2 + 1, 9));
        std::free(r);
    }
}

// Blocks of 2 MB and more start on a 2 MB boundary, so the allocator's own
// bytes lie before them and their first large page is still to be had.
TEST(Bigmem, BigBlocksStartOnLargePages)
{
    for (size_t n : {2 * MB, 5 * MB + 17, 50 * MB + 7}) {
        void* p = bigmem_alloc(n);
        ASSERT_NE(p, nullptr);
#ifdef __linux__
        EXPECT_EQ((uintptr_t)p % (2 * MB), 0u) << n;
#endif
        std::free(p);
    }
}

// Advice changes no content, on any block, aligned or not, or none.
TEST(Bigmem, AdviceKeepsContent)
{
    bigmem_advise(nullptr, 10 * MB);
    const size_t n = 6 * MB + 5;
    unsigned char* p = (unsigned char*)std::malloc(n);
    ASSERT_NE(p, nullptr);
    fill(p, n, 3);
    bigmem_advise(p, 0);
    bigmem_advise(p + 1, n - 1);
    bigmem_advise(p + 3 * MB + 1, 2 * MB + 1);
    EXPECT_TRUE(holds(p, n, 3));
    std::free(p);
}
