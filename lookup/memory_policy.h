// How the programs ask the C library to treat the memory of large pages.
#ifndef MORVELLIN_LOOKUP_MEMORY_POLICY_H_
#define MORVELLIN_LOOKUP_MEMORY_POLICY_H_

namespace morvellin {

// A page is read, re-encoded and searched as whole buffers of its size.
// Keeps freed memory in the heap for the next lookup instead of handing it
// back to the system and faulting it in again, which costs more than the
// lookup itself for a page of megabytes. Call once, at the start of a program.
void KeepFreedMemoryForLookups();

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_MEMORY_POLICY_H_
