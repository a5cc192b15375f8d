// The folder-browse window hands back the folder selected in its tree, and the
// about window shows the build's version and opens the home page.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLabel>
#include <QPushButton>

#include "dialogs/about.h"
#include "dialogs/browse.h"
#include "support/temp_dir.h"
#include "widgets/dirtree.h"

TEST(Browse, StartsAsAPlainFolderPicker) {
  TF_Browse b;
  EXPECT_EQ(b.windowTitle(), QStringLiteral("Browse"));
  EXPECT_TRUE(b.dirt->GoBelowRecycleBin());
  EXPECT_EQ(b.dirt->objectName(), QStringLiteral("dirt"));
  EXPECT_EQ(b.bu_Ok->text(), QStringLiteral("&OK"));
  EXPECT_EQ(b.bu_Close->text(), QStringLiteral("&Cancel"));
  b.bu_Close->click();
  EXPECT_EQ(b.result(), QDialog::Rejected);
  b.bu_Ok->click();
  EXPECT_EQ(b.result(), QDialog::Accepted);
}

TEST(Browse, GivesTheSelectedFolder) {
  testsupport::TempDir dir;
  const std::string inner = dir.path() + "/One/Two";
  ASSERT_EQ(testsupport::shell("mkdir -p '" + inner + "'"), 0);
  TF_Browse b;
  b.SetFolder(inner);
  EXPECT_EQ(b.Folder(), inner);
  b.dirt->clearSelection();
  b.dirt->setCurrentItem(nullptr);
  EXPECT_EQ(b.Folder(), std::nullopt);  // nothing selected
  b.SetFolder("");                      // ignored, no error
  EXPECT_EQ(b.Folder(), std::nullopt);
}

TEST(About, ShowsTheVersionAndOpensTheHomePage) {
  TF_SPInfo about;
  EXPECT_EQ(std::string(TF_SPInfo::Version()), KV_TEST_VERSION);
  EXPECT_TRUE(about.la_Version->text().contains(QStringLiteral(KV_TEST_VERSION)));
  std::vector<std::string> opened;
  about.OpenAddress = [&](const std::string& a) { opened.push_back(a); };
  about.bu_HomePage->click();
  EXPECT_EQ(opened, std::vector<std::string>{"https://kelvory.example.org/"});
  about.bu_Ok->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
}
