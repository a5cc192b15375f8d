// The main window's search and favourites commands: the search window in its two
// modes, opening an archive it found and adding the files it found to the open
// archive; recording the open archive as a favourite and the favourites window.
#include <QLabel>

#include "app/mainunit.h"
#include "dialogs/favoritelist.h"
#include "dialogs/favorites.h"
#include "dialogs/search.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

using platform::MsgKind;
using platform::ui;
using widgets::qs;

void TMainform::Searcharchive1Click() { RunSearch(1); }

void TMainform::Searchfile1Click() { RunSearch(2); }

void TMainform::RunSearch(int mode) {
  SearchMode = mode;
  TSearchActions actions;
  actions.SearchMode = mode;
  // The way File > Open goes: a RAR archive by its reader, anything else by the engine.
  actions.OpenArchive = [this](const std::string& path) { return OpenArchive(path); };
  actions.AddRefused = [this] { return RarRefused(); };
  std::vector<std::string> files;
  {
    TF_Search form(Settings, std::move(actions), this);
    widgets::runModal(form, "TF_Search");
    files = std::move(form.FilesToAdd);
  }
  if (!files.empty()) AddFoundFiles(files);
}

void TMainform::AddFoundFiles(const std::vector<std::string>& files) {
  repaint();
  if (ZipEngine1.ZipFilename().empty()) {
    const std::string name = ResolveTypedArchiveName("Noname.zip");
    ZipEngine1.setZipFilename(name);
    if (ZipEngine1.ZipFilename().empty()) return;  // the engine said why it cannot use that file
    ShowOpenArchive(name);
    Panel4->setText(qs(name));
  }
  // While the Add command's dialog is open the files are not added behind it.
  if (Tag == 0) AddFilesNow(files);
}

// ---- favourites ------------------------------------------------------------------------------

void TMainform::AddzipfiletoF1Click() {
  const std::string archive = ZipEngine1.ZipFilename();
  if (archive.empty()) return;
  if (dialogs::IsFavorite(FavoriteList, archive)) {
    ui().message(MsgKind::Information, {}, "You have already added this Zipfile to your favorites!", platform::kOk);
    return;
  }
  std::string error;
  const std::optional<std::string> line = dialogs::FavoriteLine(archive, &error);
  if (!line) {
    // A new archive that has no file yet, or one that went away meanwhile.
    ui().message(MsgKind::Error, {}, "Cannot add " + archive + " to your favorites: " + error, platform::kOk);
    return;
  }
  std::vector<std::string> list = FavoriteList;
  list.push_back(*line);
  if (!dialogs::SaveFavoriteList(list, &error)) {
    ui().message(MsgKind::Error, {}, "The favorites could not be saved: " + error, platform::kOk);
    return;
  }
  LoadFavorites();
}

void TMainform::Favoritearchives1Click() {
  TF_Favorites form(Settings, FavoriteList, [this](const std::string& path) {
    if (!OpenArchive(path)) return false;
    Panel4->setText(qs(path));
    return true;
  });
  widgets::runModal(form, "TF_Favorites");
}
