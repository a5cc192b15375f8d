#include "dialogs/controls.h"
#include "dialogs/extract.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include "dialogs/dialog_globals.h"
#include "dialogs/dialogrules.h"
#include "dialogs/radiogroup.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"

using dialogs::Named;
using widgets::qs;
using widgets::ss;

namespace {

TRadioGroup* radioGroup(const char* name, const char* title, const QStringList& items, int index, const char* hint) {
  auto* g = Named(new TRadioGroup(QString::fromUtf8(title), items), name);
  g->setItemIndex(index);
  g->setToolTip(QString::fromUtf8(hint));
  return g;
}

std::string withSlash(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

// True when root is folder itself or one of the folders above it.
bool holds(const std::string& root, const std::string& folder) {
  if (root == "/") return !folder.empty() && folder.front() == '/';
  return folder == root || folder.rfind(withSlash(root), 0) == 0;
}

}  // namespace

TExtract::TExtract(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Extract"));
  setWindowTitle(QStringLiteral("Select Extract directory"));
  resize(420, 380);

  Label1 = Named(new QLabel(QStringLiteral("Look &in:")), "Label1");
  DriveComboBox1 = Named(new QComboBox, "DriveComboBox1");
  Label1->setBuddy(DriveComboBox1);
  bu_NewDir = Named(new QToolButton, "bu_NewDir");
  bu_NewDir->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  bu_NewDir->setAutoRaise(true);
  bu_NewDir->setToolTip(QStringLiteral("Create new directory"));
  Dirt1 = Named(new widgets::TDirTree, "Dirt1");

  RadioGroup1 = radioGroup("RadioGroup1", "Expand ZIP Dirs", {QStringLiteral("No"), QStringLiteral("Yes")}, 1,
                           "Extracts and recreates the relative pathname that may have been stored with each file. "
                           "Empty dirs stored in the archive (if any) will also be recreated.");
  RadioGroup2 = radioGroup("RadioGroup2", "OverWrite Existing", {QStringLiteral("No"), QStringLiteral("Yes")}, 1,
                           "Overwrite any pre-existing files during extraction.");
  RadioGroup3 = radioGroup("RadioGroup3", "Files to Extract",
                           {QStringLiteral("All Files"), QStringLiteral("Selected Files")}, 0, "Files to extract");
  Ch_ExtUpdate = Named(new QCheckBox(QStringLiteral("Only Update file(s)")), "Ch_ExtUpdate");

  BitBtn1 = Named(new QPushButton(QStringLiteral("&OK")), "BitBtn1");
  BitBtn1->setDefault(true);
  BitBtn1->setToolTip(QStringLiteral("Start extracting file(s)"));
  BitBtn2 = Named(new QPushButton(QStringLiteral("&Cancel")), "BitBtn2");
  BitBtn2->setToolTip(QStringLiteral("Cancel operation"));

  // The roots a user starts from: "/", the home folder and the other mounts.
  std::vector<std::string> roots{"/", platform::homeFolder()};
  for (const std::string& r : platform::drives().roots())
    if (std::find(roots.begin(), roots.end(), r) == roots.end()) roots.push_back(r);
  for (const std::string& r : roots)
    if (DriveComboBox1->findText(qs(r), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) DriveComboBox1->addItem(qs(r));

  auto* drive = new QHBoxLayout;
  drive->addWidget(Label1);
  drive->addWidget(DriveComboBox1, 1);
  drive->addWidget(bu_NewDir);

  auto* left = new QVBoxLayout;
  left->addLayout(drive);
  left->addWidget(Dirt1, 1);

  auto* right = new QVBoxLayout;
  right->addWidget(RadioGroup1);
  right->addWidget(RadioGroup2);
  right->addWidget(RadioGroup3);
  right->addWidget(Ch_ExtUpdate);
  right->addStretch(1);
  right->addWidget(BitBtn1);
  right->addWidget(BitBtn2);

  auto* main = new QHBoxLayout(this);
  main->addLayout(left, 3);
  main->addLayout(right, 2);

  connect(DriveComboBox1, &QComboBox::currentIndexChanged, this, [this] { DriveComboBox1Change(); });
  connect(Dirt1, &widgets::TDirTree::currentDirChanged, this, [this](const QString& f) { ShowDriveOf(ss(f)); });
  connect(bu_NewDir, &QToolButton::clicked, this, &TExtract::bu_NewDirClick);
  connect(BitBtn1, &QPushButton::clicked, this, &TExtract::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TExtract::BitBtn2Click);
  dialogs::EscapeClicks(*this, *BitBtn2);

  // A dialog driven without being shown counts as cancelled until OK, too.
  FormActivate();
}

void TExtract::SetFolder(const std::string& folder) {
  if (folder.empty()) return;
  Dirt1->setInitialDirectory(qs(folder));
  Dirt1->setDirectory(qs(folder));
  ShowDriveOf(Folder());
}

std::string TExtract::Folder() const {
  const QString folder = Dirt1->Directory();
  return folder == QStringLiteral("?") ? std::string() : ss(folder);
}

void TExtract::setFilesToExtract(int index) { RadioGroup3->setItemIndex(index); }

int TExtract::FilesToExtract() const { return RadioGroup3->ItemIndex(); }

void TExtract::FormActivate() { dialogs::DialogCancelled = true; }

void TExtract::DriveComboBox1Change() {
  const QString root = DriveComboBox1->currentText();
  if (!root.isEmpty()) Dirt1->setDirectory(root);
}

void TExtract::ShowDriveOf(const std::string& folder) {
  // The longest root that holds the folder.
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < DriveComboBox1->count(); ++i) {
    const std::string root = ss(DriveComboBox1->itemText(i));
    if (holds(root, folder) && static_cast<qsizetype>(root.size()) > bestLength) {
      best = i;
      bestLength = static_cast<qsizetype>(root.size());
    }
  }
  if (best < 0) return;
  const QSignalBlocker quiet(DriveComboBox1);
  DriveComboBox1->setCurrentIndex(best);
}

void TExtract::bu_NewDirClick() {
  std::optional<std::string> answer = platform::ui().input("Input Box", "Directory", "");
  if (!answer) return;
  std::string name = *answer;
  if (!name.empty() && name.back() != '/') name += '/';
  const std::string base = Folder();
  if (base.empty()) return;  // no folder selected to create it in
  const std::string target = withSlash(base) + name;
  if (::mkdir(target.c_str(), 0777) != 0) {
    const std::string reason = std::generic_category().message(errno);
    std::string shown = target;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    platform::ui().message(platform::MsgKind::Error, {}, "Cannot create the folder " + shown + ": " + reason,
                           platform::kOk);
    return;
  }
  Dirt1->Reload();
  Dirt1->setDirectory(qs(target));
}

void TExtract::BitBtn1Click() {
  dialogs::DialogCancelled = false;
  dialogs::ExtractDir = Folder();
  dialogs::ExtractWithPaths = RadioGroup1->ItemIndex() == 1;
  dialogs::ExtractOverwrite = RadioGroup2->ItemIndex() == 1;
  dialogs::ExtractAll = RadioGroup3->ItemIndex() == 0;
  accept();
}

void TExtract::BitBtn2Click() {
  dialogs::ExtractDir.clear();
  reject();
}

void TExtract::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!centred_) {
    centred_ = true;
    dialogs::CentreOnScreen(*this);
  }
  FormActivate();
}
