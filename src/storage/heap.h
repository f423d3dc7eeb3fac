// The process heap.
#pragma once

namespace qnl {

// Hands memory the allocator holds free back to the system. A large structure
// freed by a worker thread otherwise stays with the process: the C library
// keeps freed blocks for later allocations of that thread's arena. Does
// nothing where the allocator offers no such call.
void return_free_heap();

}  // namespace qnl
