#include "dialogs/controls.h"
#include "dialogs/makesfx.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/dialogrules.h"
#include "dialogs/radiogroup.h"
#include "platform/paths.h"
#include "widgets/qt_ui.h"
#include "zipengine/zipengine.h"

using dialogs::Named;
using widgets::qs;
using widgets::ss;

namespace {

QLabel* label(const char* text, bool bold = false) {
  auto* l = new QLabel(QString::fromUtf8(text));
  l->setWordWrap(true);
  if (bold) {
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
  }
  return l;
}

}  // namespace

TMakeSFX::TMakeSFX(TZipEngine& engine, bool& confirmed, QWidget* parent)
    : QDialog(parent), engine_(engine), confirmed_(confirmed) {
  confirmed_ = false;  // until OK
  setObjectName(QStringLiteral("MakeSFX"));
  setWindowTitle(QStringLiteral("Make selfextracting archive"));
  resize(520, 420);

  auto* banner = label("Make selfextracting archive", true);
  QFont big = banner->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  banner->setFont(big);

  PageControl1 = Named(new QTabWidget, "PageControl1");
  CaptionEdit = Named(new QLineEdit, "CaptionEdit");
  DirectoryEdit = Named(new QLineEdit, "DirectoryEdit");
  DfltOverWriteGrp = Named(new TRadioGroup(QStringLiteral("Default Overwrite Action"),
                                           {QStringLiteral("Ask User"), QStringLiteral("Always Overwrite"),
                                            QStringLiteral("Skip extraction")}),
                           "DfltOverWriteGrp");
  CmdLineCB = Named(new QCheckBox(QStringLiteral("Allow User to avoid running the command line")), "CmdLineCB");
  FileListCB = Named(new QCheckBox(QStringLiteral("Allow User to modify the file list to be extracted")), "FileListCB");
  HideOverwriteCB =
      Named(new QCheckBox(QStringLiteral("Hide the Overwrite Action group box at run time")), "HideOverwriteCB");
  CommandEdit = Named(new QLineEdit, "CommandEdit");

  auto* page1 = Named(new QWidget, "TabSheet1");
  auto* p1 = new QVBoxLayout(page1);
  p1->addWidget(label("Caption of the Self Extracting Archive Program"));
  p1->addWidget(CaptionEdit);
  p1->addWidget(
      label("Default Extract Directory on User's Computer  (if '><' then the temporary directory will be used)"));
  p1->addWidget(DirectoryEdit);
  p1->addWidget(DfltOverWriteGrp);
  p1->addWidget(CmdLineCB);
  p1->addWidget(FileListCB);
  p1->addWidget(HideOverwriteCB);
  p1->addStretch(1);
  PageControl1->addTab(page1, QStringLiteral("SFX Options 1."));

  auto* page2 = Named(new QWidget, "TabSheet2");
  auto* p2 = new QVBoxLayout(page2);
  p2->addWidget(label("Command Line to Exec After Extraction"));
  p2->addWidget(CommandEdit);
  p2->addSpacing(12);
  p2->addWidget(label("Special Command Line Symbols:", true));
  p2->addWidget(label("A vertical bar '|' separates the program name from the argument list"));
  p2->addWidget(label("Two Arrows '><' will be replaced by the actual extract directory"));
  p2->addWidget(label("The following example runs notepad to display readme.txt in extract dir:"));
  p2->addWidget(label("notepad|><readme.txt", true));
  p2->addStretch(1);
  PageControl1->addTab(page2, QStringLiteral("SFX Options 2."));

  BitBtn1 = Named(new QPushButton(QStringLiteral("&OK")), "BitBtn1");
  BitBtn1->setFlat(true);
  BitBtn1->setDefault(true);
  BitBtn2 = Named(new QPushButton(QStringLiteral("&Close")), "BitBtn2");
  BitBtn2->setFlat(true);
  BitBtn2->setToolTip(QStringLiteral("Cancel operation"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  auto* main = new QVBoxLayout(this);
  main->addWidget(banner);
  main->addWidget(PageControl1, 1);
  main->addLayout(buttons);

  connect(BitBtn1, &QPushButton::clicked, this, &TMakeSFX::ExecButClick);
  connect(BitBtn2, &QPushButton::clicked, this, &TMakeSFX::CancelButClick);
  dialogs::EscapeClicks(*this, *BitBtn2);
  FormCreate();
}

void TMakeSFX::FormCreate() {
  CaptionEdit->setText(QStringLiteral("Self-extracting Archive"));
  // The root of the user's own drive: the home folder.
  DirectoryEdit->setText(qs(platform::homeFolder()));
  DfltOverWriteGrp->setItemIndex(0);
  CmdLineCB->setChecked(false);
  FileListCB->setChecked(false);
  HideOverwriteCB->setChecked(false);
  CommandEdit->clear();
  PageControl1->setCurrentIndex(0);
}

void TMakeSFX::ExecButClick() {
  auto set = [this](QCheckBox* box, SFXOptsEnum option) {
    if (box->isChecked())
      engine_.SFXOptions += option;
    else
      engine_.SFXOptions -= option;
  };
  set(CmdLineCB, SFXAskCmdLine);
  set(FileListCB, SFXAskFiles);
  set(HideOverwriteCB, SFXHideOverWriteBox);
  switch (DfltOverWriteGrp->ItemIndex()) {
    case 1: engine_.SFXOverWriteMode = OvrAlways; break;
    case 2: engine_.SFXOverWriteMode = OvrNever; break;
    default: engine_.SFXOverWriteMode = OvrConfirm; break;
  }
  engine_.SFXCaption = ss(CaptionEdit->text());
  engine_.SFXDefaultDir = ss(DirectoryEdit->text());
  engine_.SFXCommandLine = ss(CommandEdit->text());
  confirmed_ = true;
  accept();
}

void TMakeSFX::CancelButClick() {
  confirmed_ = false;
  reject();
}
