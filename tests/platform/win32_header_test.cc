#include <stddef.h>

#include <gtest/gtest.h>

#include "platform/win32.h"

extern "C" size_t RequestLayoutSeenFromC(void);
extern "C" size_t FindRecordSizeSeenFromC(void);

TEST(Win32Header, DeclaresTheSameRecordsToCAndCxx) {
  EXPECT_EQ(RequestLayoutSeenFromC(),
            offsetof(OPENFILENAMEA, lpTemplateName) * 1000 + sizeof(OPENFILENAMEA));
  EXPECT_EQ(FindRecordSizeSeenFromC(), sizeof(WIN32_FIND_DATAA));
  // cFileName holds a path of MAX_PATH bytes, its zero byte included.
  EXPECT_EQ(sizeof(static_cast<WIN32_FIND_DATAA*>(nullptr)->cFileName), 260u);
}
