/* win32.h compiles as C too; the layouts it declares must be the same there
 * as in C++, since the layer is written in C++ and may be called from C. */
#include <stddef.h>

#include "platform/win32.h"

size_t RequestLayoutSeenFromC(void) {
  return offsetof(OPENFILENAMEA, lpTemplateName) * 1000 + sizeof(OPENFILENAMEA);
}

size_t FindRecordSizeSeenFromC(void) { return sizeof(WIN32_FIND_DATAA); }
