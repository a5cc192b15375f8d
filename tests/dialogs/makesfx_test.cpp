// The make-SFX dialog: its pages and controls, what OK writes into the engine
// (all three options set or cleared, the others left alone) and what Close does.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "dialogs/makesfx.h"
#include "dialogs/radiogroup.h"
#include "platform/paths.h"
#include "zipengine/zipengine.h"

namespace {

TEST(MakeSFX, PagesAndControls) {
  TZipEngine engine;
  bool confirmed = true;
  TMakeSFX d(engine, confirmed);
  EXPECT_FALSE(confirmed);
  EXPECT_EQ(d.windowTitle(), "Make selfextracting archive");
  ASSERT_EQ(d.PageControl1->count(), 2);
  EXPECT_EQ(d.PageControl1->tabText(0), "SFX Options 1.");
  EXPECT_EQ(d.PageControl1->tabText(1), "SFX Options 2.");
  EXPECT_EQ(d.DfltOverWriteGrp->Items(), (QStringList{"Ask User", "Always Overwrite", "Skip extraction"}));
  EXPECT_EQ(d.DfltOverWriteGrp->title(), "Default Overwrite Action");
  EXPECT_EQ(d.BitBtn1->text(), "&OK");
  EXPECT_EQ(d.BitBtn2->text(), "&Close");
  EXPECT_EQ(d.BitBtn2->toolTip(), "Cancel operation");
  EXPECT_TRUE(d.BitBtn1->isFlat() && d.BitBtn2->isFlat());
  for (const char* name : {"CaptionEdit", "DirectoryEdit", "DfltOverWriteGrp", "CmdLineCB", "FileListCB",
                           "HideOverwriteCB", "CommandEdit", "BitBtn1", "BitBtn2"})
    EXPECT_NE(d.findChild<QWidget*>(name), nullptr) << name;
}

TEST(MakeSFX, OkWithInitialValues) {
  TZipEngine engine;
  engine.SFXOptions = {SFXAskCmdLine, SFXAskFiles, SFXHideOverWriteBox, SFXCheckSize, SFXAutoRun};
  engine.SFXOverWriteMode = OvrNever;
  bool confirmed = false;
  TMakeSFX d(engine, confirmed);
  d.BitBtn1->click();
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(engine.SFXCaption, "Self-extracting Archive");
  EXPECT_EQ(engine.SFXDefaultDir, platform::homeFolder());
  EXPECT_EQ(engine.SFXCommandLine, "");
  EXPECT_EQ(engine.SFXOverWriteMode, OvrConfirm);
  EXPECT_EQ(engine.SFXOptions, (SFXOpts{SFXCheckSize, SFXAutoRun})) << "unchecked boxes clear their options only";
}

TEST(MakeSFX, OkTakesEveryControl) {
  TZipEngine engine;
  engine.SFXOptions = {};
  bool confirmed = false;
  TMakeSFX d(engine, confirmed);
  d.CaptionEdit->setText("Tools");
  d.DirectoryEdit->setText("><");
  d.CommandEdit->setText("notepad|><readme.txt");
  d.DfltOverWriteGrp->setItemIndex(2);
  d.CmdLineCB->setChecked(true);
  d.FileListCB->setChecked(true);
  d.HideOverwriteCB->setChecked(true);
  d.BitBtn1->click();
  EXPECT_EQ(engine.SFXCaption, "Tools");
  EXPECT_EQ(engine.SFXDefaultDir, "><");
  EXPECT_EQ(engine.SFXCommandLine, "notepad|><readme.txt");
  EXPECT_EQ(engine.SFXOverWriteMode, OvrNever);
  EXPECT_EQ(engine.SFXOptions, (SFXOpts{SFXAskCmdLine, SFXAskFiles, SFXHideOverWriteBox}));
  d.DfltOverWriteGrp->setItemIndex(1);
  d.BitBtn1->click();
  EXPECT_EQ(engine.SFXOverWriteMode, OvrAlways);
}

TEST(MakeSFX, CloseConfirmsNothingAndChangesNothing) {
  TZipEngine engine;
  bool confirmed = true;
  TMakeSFX d(engine, confirmed);
  d.CaptionEdit->setText("changed");
  d.CmdLineCB->setChecked(true);
  d.BitBtn2->click();
  EXPECT_FALSE(confirmed);
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_EQ(engine.SFXCaption, "Self-extracting Archive");
  EXPECT_EQ(engine.SFXOptions, SFXOpts{SFXCheckSize});
}

}  // namespace
