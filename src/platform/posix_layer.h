// What our own platform layer offers beyond the platform's functions: the
// knobs that tests turn. The system's code never includes this header.
#ifndef QUILLMOOR_PLATFORM_POSIX_LAYER_H_
#define QUILLMOOR_PLATFORM_POSIX_LAYER_H_

#include "platform/win32.h"

// Makes GetACP report code_page (932, 936, 949, 950 or a single-byte page)
// from now on; 0 goes back to following the process's locale.
void SetAnsiCodePageForTesting(UINT code_page);

// Forgets every settings file the engine holds in memory, so that the next
// call reads from disk as a new process would.
void DropProfileCacheForTesting();

#endif  // QUILLMOOR_PLATFORM_POSIX_LAYER_H_
