#include "storage/heap.h"

#include <cstdlib>  // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qnl {

void return_free_heap() {
#if defined(__GLIBC__)
  malloc_trim(0);  // every arena, and free pages inside them
#endif
}

}  // namespace qnl
