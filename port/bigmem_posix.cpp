// Large pages through madvise, where the kernel takes them on request.
#include "port/bigmem.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {
// A large page needs an aligned 2 MB run: smaller blocks gain nothing.
const size_t LARGE = (size_t)2 << 20;
}

void* bigmem_alloc(size_t n)
{
    if (n < LARGE) return std::malloc(n);
    // Aligned, so the allocator's own header lies in the page before the
    // block and the block's first 2 MB is still untouched when advised.
    void* p = nullptr;
    if (posix_memalign(&p, LARGE, n) != 0) return nullptr;
    bigmem_advise(p, n);
    return p;
}

void bigmem_advise(void* p, size_t n)
{
#ifdef MADV_HUGEPAGE
    if (!p || n < LARGE) return;
    const long ps = sysconf(_SC_PAGESIZE);
    if (ps <= 0) return;
    const uintptr_t page = (uintptr_t)ps;
    // Every page the block touches; the advice changes no content, so a
    // neighbour's page in it is harmless.
    const uintptr_t a = (uintptr_t)p & ~(page - 1), e = ((uintptr_t)p + n + page - 1) & ~(page - 1);
    madvise((void*)a, e - a, MADV_HUGEPAGE);  // a refusal changes nothing
#else
    (void)p;
    (void)n;
#endif
}
