#include "dialogs/favorites.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "dialogs/controls.h"
#include "dialogs/dialogrules.h"
#include "dialogs/favoritelist.h"
#include "dialogs/filelines.h"
#include "dialogs/settings_model.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using platform::MsgKind;
using platform::ui;
using widgets::qs;

TF_Favorites::TF_Favorites(const dialogs::TSettings& settings, std::vector<std::string>& favorites,
                           std::function<bool(const std::string& path)> openArchive, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      favorites_(favorites),
      openArchive_(std::move(openArchive)) {
  setObjectName(QStringLiteral("F_Favorites"));
  setWindowTitle(QStringLiteral("Favorites"));
  QWidget* banner = dialogs::Banner("Favorites");
  StringGrid1 = dialogs::Named(new TSortGrid, "StringGrid1");
  StringGrid1->setToolTip(QStringLiteral("Double-Click to open the selected zipfile"));
  StatusBar1 = dialogs::Named(new QStatusBar, "StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  bu_Delete = dialogs::FlatButton("bu_Delete", "Remove", "Remove selected file(s)");
  bu_Close = dialogs::FlatButton("bu_Close", "&Close", "");

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(4);
  v->addWidget(banner);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(6, 0, 6, 0);
  body->addWidget(StringGrid1, 1);
  v->addLayout(body, 1);
  auto* h = new QHBoxLayout;
  h->addStretch(1);
  h->addWidget(bu_Delete);
  h->addWidget(bu_Close);
  h->addStretch(1);
  v->addLayout(h);
  v->addWidget(StatusBar1);
  setFixedSize(296, 263);

  FormCreate();
  StringGrid1->OnClick = [this](TSortGrid*) { StringGrid1Click(); };
  StringGrid1->OnDblClick = [this](TSortGrid*) { StringGrid1DblClick(); };
  StringGrid1->OnKeyPress = [this](TSortGrid*, int& key) {
    if (key == 13) {
      key = 0;
      StringGrid1DblClick();
    } else if (key == 27) {
      key = 0;
      reject();
    }
  };
  connect(bu_Delete, &QPushButton::clicked, this, &TF_Favorites::bu_DeleteClick);
  connect(bu_Close, &QPushButton::clicked, this, &TF_Favorites::BitBtn1Click);
}

void TF_Favorites::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  dialogs::CentreOnScreen(*this);
}

void TF_Favorites::FormCreate() {
  TSortGrid& g = *StringGrid1;
  g.setOptions(g.Options() | goRowSelect | goRangeSelect | goColSizing);
  g.setScrollBars(ssVertical);
  g.setColCount(4);
  g.setFixedCols(0);
  g.setRowCount(2);
  g.setFixedRows(1);
  g.setColWidths(0, 100);
  g.setColWidths(1, 70);
  g.setColWidths(2, 60);
  g.setFixedColor(widgets::colorFromRef(static_cast<std::uint32_t>(settings_.pa_HeaderColor)));
  g.setColor(widgets::colorFromRef(static_cast<std::uint32_t>(settings_.pa_WindowColor)));
  FillFavorites();
}

void TF_Favorites::FillFavorites() {
  TSortGrid& g = *StringGrid1;
  // Rows left from an earlier fill (a removed favourite) must not stay behind.
  g.Clear();
  g.setRowCount(std::max<int>(2, static_cast<int>(favorites_.size()) + 1));
  g.setRows(0, {QStringLiteral("Zip archive"), QStringLiteral("Date/Time"), QStringLiteral("Size"), QString()});
  for (std::size_t i = 0; i < favorites_.size(); ++i) {
    const dialogs::TFileLine f = dialogs::SplitFileLine(favorites_[i]);
    const int row = static_cast<int>(i) + 1;
    g.setRows(row, {qs(platform::fileNameOf(f.file)), qs(f.date), qs(f.size)});
    // The row's favourite travels with the row when the grid is sorted.
    g.setObjects(0, row, reinterpret_cast<void*>(static_cast<std::uintptr_t>(i + 1)));
  }
}

int TF_Favorites::FavoriteAt(int row) const {
  const auto tag = reinterpret_cast<std::uintptr_t>(StringGrid1->Objects(0, row));
  if (tag == 0 || tag > favorites_.size()) return -1;
  return static_cast<int>(tag - 1);
}

void TF_Favorites::StringGrid1Click() {
  const int i = FavoriteAt(StringGrid1->Row());
  if (i < 0) return;
  StatusBar1->showMessage(qs(dialogs::SplitFileLine(favorites_[i]).file));
}

void TF_Favorites::StringGrid1DblClick() {
  const int i = FavoriteAt(StringGrid1->Row());
  if (i < 0) return;
  // An archive that does not open (gone, or refused) was reported by the opener;
  // the window stays so the favourite can be removed.
  if (openArchive_ && openArchive_(dialogs::SplitFileLine(favorites_[i]).file)) accept();
}

void TF_Favorites::bu_DeleteClick() {
  const int i = FavoriteAt(StringGrid1->Row());
  if (i < 0) return;
  if (ui().message(MsgKind::Confirmation, {}, "Are you sure?", platform::kYesNo) != platform::kBtnYes) return;
  std::vector<std::string> kept = favorites_;
  kept.erase(kept.begin() + i);
  std::string error;
  if (!dialogs::SaveFavoriteList(kept, &error)) {
    ui().message(MsgKind::Error, {}, "The favorites could not be saved: " + error, platform::kOk);
    return;
  }
  favorites_ = dialogs::LoadFavoriteList();
  StatusBar1->clearMessage();
  FillFavorites();
}

void TF_Favorites::BitBtn1Click() { reject(); }
