// The main window starts with no archive: the "<none>" caption.
#include <gtest/gtest.h>

#include "app/mainunit.h"

TEST(Mainform, StartsWithNoArchive) {
  TMainform f;
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_EQ(f.objectName(), QStringLiteral("Mainform"));
}
