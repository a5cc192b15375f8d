// The main window: the open archive's listing with its menus, toolbar and status
// panels, the state kept for the whole run, and the commands on the archive.
//
// The window owns the ZIP engine ZipEngine1 and the grid StringGrid1; it reads the
// settings from the TSettings object it is given (the settings window edits that
// object in place). Every box goes through the Ui seam.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/settings_model.h"
#include "mail/tarnsmtp.h"
#include "rar/rararc.h"
#include "zipengine/zipengine.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QWidget;
class TSortGrid;
class TToolPicture;
class TF_Settings;
class TAddForm;
class TF_MailForm;
namespace widgets {
class TFileOperation;
}

class TMainform : public QMainWindow {
  Q_OBJECT
 public:
  // settings: the live settings of the run (not owned). arguments: the command line
  // without the program name.
  TMainform(dialogs::TSettings& settings, QStringList arguments, QWidget* parent = nullptr);
  ~TMainform() override;

  // Caption prefix, with its trailing blank.
  const QString TitleBase = QStringLiteral("Kelvory '99 ");

  // ---- owned components ----------------------------------------------------------------
  TZipEngine ZipEngine1;
  TSortGrid* StringGrid1 = nullptr;
  TF_Settings* F_Settings = nullptr;
  dialogs::TSettings& Settings;

  // ---- controls -----------------------------------------------------------------------
  QWidget* Panel1 = nullptr;  // top bar
  QWidget* Panel5 = nullptr;  // the toolbar's empty part
  QWidget* Panel2 = nullptr;  // bottom bar
  QLabel* Panel3 = nullptr;   // first status line
  QLabel* Panel4 = nullptr;   // second status line
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* CancelBut = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QMenu* FileMenu = nullptr;
  std::array<TToolPicture*, 8> ToolPictures{};  // New, Open, Run, View, Extract, Add, Delete, Close

  // A menu action by its item name ("Add1"), or nullptr.
  QAction* Action(const QString& name) const;

  // ---- state of the run ----------------------------------------------------------------
  std::vector<std::string> FavoriteList;
  std::vector<std::string> ViewList;
  std::vector<std::string> InstallList;
  std::vector<std::string> MailAttachments;
  std::vector<std::string> MailLines;
  bool RarMode = false;
  bool ArchiveChanged = false;
  bool LayoutLoading = true;
  std::string WorkName;
  int EditState = 0;
  int RarExtracted = 0;
  bool SfxConfirmed = false;
  int SearchMode = 0;
  std::int64_t ListedFiles = 0;
  std::int64_t ListedBytes = 0;
  std::int64_t SelectedFiles = 0;
  std::int64_t SelectedBytes = 0;
  QString HelpFile;
  // Mail values copied from the settings when they are read.
  QString MailServer, MailPort, MailName, MailAddress;

  // ---- window state (start-up) -----------------------------------------------------------
  void FormCreate();
  void FormShow();
  // Applies the drop setting; the first call of the run also acts on the command line.
  void FormActivate();
  // Acts on the command line (open the ".zip" named, or add the files named to a new
  // archive) once per run: at the first show or the first activation, whichever
  // comes first, so a window manager that does not activate new windows still gets
  // the archive listed.
  void ActOnCommandLine();

  void SetArchiveCommands(bool on);
  void SetRarRestrictions(bool rar);
  bool RarRefused();
  void SetSfxCaptions(const std::string& archiveName);
  void SetCaption(const std::string& archive);  // empty: the "<none>" form
  // Makes archive the one the window works on (empty: none): caption, the
  // self-extracting captions, the archive commands, both status lines and
  // ArchiveChanged (a newly chosen archive is unchanged). Every change of the open
  // archive goes through here.
  void ShowOpenArchive(const std::string& archive);

  // ---- recent archives (section RECENT) ---------------------------------------------------
  // Paths are compared exactly: on this system Report.zip and report.zip are two files.
  void AddRecent(const std::string& path);
  // Drops every line naming path from the list (the menu is not rebuilt).
  void ForgetRecent(const std::string& path);
  void BuildRecentMenu();
  // Opens the archive of a recent item as Open does; a file that is gone is
  // reported (and may be dropped from the list) and changes nothing else.
  void RecentClick(QAction* item);

  // The folder picker "Please specify a directory"; the path with a trailing "/".
  bool BrowseFolder(std::string& path);

  // ---- the listing -------------------------------------------------------------------------
  void FillListing();
  void ClearGrid();
  // Titles and widths of the grid from ColumnDefs, changing the column count only
  // when it differs (cells stay). Lines that cannot be used are left out or
  // bounded and reported in one warning, each line once a run.
  void ApplyColumnLayout();
  void DefaultColumnLayout();
  void StringGrid1ColumnWidthsChanged();
  void ShowTotals();
  void ShowSelectionTotals(int firstRow, int lastRow);
  void StringGrid1Click();
  void SelectAll2Click();
  void DeselectAll2Click();
  // The grid's sort value of a cell: the entry's time for the "Modified" column.
  bool StringGrid1GetSortValue(int col, int row, double& value) const;
  // Column of a title in row 0, or -1.
  int ColumnOf(const QString& title) const;
  // The archive names of the selected rows, top to bottom (the full stored names, so a
  // file in a folder is found even while the "Path" column is hidden).
  std::vector<std::string> SelectedNames() const;
  // The "<n> files, <number> <unit>" part of the total lines.
  static QString TotalsText(std::int64_t files, std::int64_t bytes);

  // ---- File-menu commands on the archive file ----------------------------------------------
  void BU_NewClick();
  void BU_OpenClick();
  void Closearchive1Click();
  void Savearchiveas1Click();
  void Copyarchive1Click();
  void Delete2Click();
  void Archiveinformation1Click();
  // Puts the current "kelvory.dat" in front of a changed self-extracting archive.
  void RebuildSfx();
  // The open archive is a self-extracting program (".exe" after the name's first dot).
  bool OpenArchiveIsSfx() const;
  void DeleteTmpFile();
  // Runs at the end of New (the Add command starts a new archive).
  std::function<void()> AfterNewArchive;
  std::unique_ptr<widgets::TFileOperation> FileOperation1;

  // Opens a ZIP archive or self-extracting program (as Open does after its dialog):
  // a changed self-extracting archive open now is rebuilt first.
  bool OpenArchive(const std::string& path);
  // Lists an archive and makes it the open one (caption, commands, status lines,
  // and the recent list when remember is set). A missing file, or one the engine
  // refuses, is reported and false returned; the archive open before stays open.
  bool ListArchive(const std::string& path, bool remember = true);

  // An archive name the user typed: a relative name is taken in the folder of the
  // default archive name of the settings; the result is a full path.
  std::string ResolveTypedArchiveName(const std::string& typed) const;

  // ---- commands on the archive's contents ---------------------------------------------------
  void BU_AddClick();
  void BU_ExtractClick();
  void BU_DeleteFileClick();
  void Test1Click();
  // The Add command, with a dialog made beforehand (the command line fills one).
  void RunAddCommand(std::unique_ptr<TAddForm> form);
  void ZipEngine1Progress(ProgressType ProgrType, const std::string& Filename, std::int64_t FileSize);
  void ZipEngine1Message(int ErrCode, const std::string& Message);
  void CancelButClick();
  // Files dropped on the program: on the open Add dialog, or added at once.
  void DropFilesOnWindow(const QStringList& files);
  void DropFiles(TAddForm* form, const QStringList& files);
  // Adds files (full paths) to the open archive at once, with progress, Cancel
  // and the count at the end.
  void AddFilesNow(const std::vector<std::string>& names);
  // Files named on the command line: a new archive and the Add dialog with them.
  void AddCommandLineFiles();
  // The window's own tag: 1 while the Add command shows its dialog.
  int Tag = 0;
  // The Add dialog while one exists (drops go to it).
  QPointer<TAddForm> ActiveAddForm;
  // Progress bar steps taken for the current file.
  int ProgressSteps = 0;
  // The user pressed Cancel during the running command.
  bool UserCancelled = false;
  // Entries of the running operation as the engine reported them: folder entries
  // begun, and those that then failed, so counts can leave folders out.
  struct OperationCounts {
    int folders = 0;
    int failedFolders = 0;
    bool currentIsFolder = false;
    int FoldersDone() const { return folders - failedFolders; }
  } Counts;

  // ---- commands -------------------------------------------------------------------------------
  void BU_ExitClick();  // closes the window
  void Settings1Click();
  void About2Click();
  void ZipEngine1DirUpdate();

  // The toolbar: the explorer-like look and the tool tips.
  void RestoreToolPictures();
  void ApplyToolTips();

  // ---- RAR archives (rarcommands.cpp) ------------------------------------------------------
  // The RAR reader: a RAR archive is shown read-only through it while RarMode is set.
  TRAR rar;
  // The archive the window shows: the reader's in RarMode, else the engine's.
  std::string OpenArchiveName() const;
  // Lists a RAR archive and makes it the open one (the RAR branch of Open). When
  // the reader reports errors and lists no file, the archive open before is open
  // again and false is returned.
  bool OpenRarArchive(const std::string& path);
  // Errors the RAR reader has reported since the count was last reset.
  int RarErrors = 0;
  void RarExtractClick();  // Extract in RarMode
  void RarTestClick();     // Test in RarMode
  void rarListFile(const RARHeaderData& h);
  void rarExtracting(const RARHeaderData& h);
  void rarExtracted(const RARHeaderData& h, bool ok);
  int rarProcessData(int size, std::int64_t position);
  void rarTesting(const RARHeaderData& h);
  void rarTested(const RARHeaderData& h, bool ok);
  int rarVolumeChange(char* name, int mode);
  void rarReqPassword(const RARHeaderData& h, std::string& password);
  void rarError(int code);

  // ---- spanned sets (spancommands.cpp) -----------------------------------------------------
  void Openspannedarchive1Click();
  void Splitarchive1Click();
  // Gives the engine the volume sizes of the settings' spanning page; false (and
  // a message naming the setting) when one of them is not a size.
  bool ApplySpanSettings();

  // ---- view, run and install (viewcommands.cpp) -------------------------------------------
  // The installer the user chose (file name without folder).
  std::string ChosenInstaller;
  void Viewfile1Click();
  void Executefile1Click();
  void Install1Click();
  // ViewList := the selected entries (stored names) whose extension is an image
  // extension of the settings, in the list's order of extensions.
  void CollectImages();
  // InstallList := the installer names of the settings found among the listed
  // entries (file names without folder); says so when there is none.
  void CollectInstallers();
  void ViewImages();
  void EditText();
  // Puts the edited copy folder/stored back into the archive under stored; false
  // (and the user told where the copy is) when the archive was not changed.
  bool WriteBack(const std::string& folder, const std::string& stored);
  void ShowInstallWindow();
  // The temporary folder of the settings (the program folder, with a warning, when
  // none is set).
  std::string ViewTempFolder();
  // A new private folder inside parent, or "" after an error box.
  std::string UseFolder(const std::string& parent);
  // Extracts the stored names into folder (overwriting; with withFolders below their
  // stored folders).
  void ExtractForUse(const std::vector<std::string>& names, const std::string& folder, bool withFolders);

  // ---- mail (mailcommands.cpp) ------------------------------------------------------------
  TTarnSMTP smtp;
  QPointer<TF_MailForm> MailForm;  // the mail window while it is shown; the client's events write to it
  bool MailStopped = false;        // a client event has told the user and disconnected
  void Mailarchive1Click();
  // File > Make Self Extracting file / Create ZIP file (sfxcommands.cpp).
  void MakeSelfExtractedfile1Click();
  // File > Multiple file extracting: the window of its own (mfecommands.cpp).
  void MultipleFileExtracting1Click();
  // The send routine of the mail window's "&Send".
  void SendArchiveMail(const std::string& name, const std::string& address, const std::vector<std::string>& attachments,
                       const std::string& subject);
  // Wires the client's events to the mail window and the Ui.
  void ConnectMailEvents();

  // ---- search and favourites (searchcommands.cpp) -------------------------------------------
  void Searcharchive1Click();
  void Searchfile1Click();
  // The search window in a mode (1 archives, 2 files to add).
  void RunSearch(int mode);
  // Files the file search chose: added to the open archive (a new one when none is open).
  void AddFoundFiles(const std::vector<std::string>& files);
  // Records the open archive as a favourite (once: another path to the same file counts).
  void AddzipfiletoF1Click();
  void Favoritearchives1Click();

 protected:
  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  std::unique_ptr<TAddForm> CreateAddForm();
  void ShowProgress(bool on);
  void StepProgress();
  void BuildLayout();
  void BuildMenus();
  void BuildToolbar();
  void ConnectSettings();
  QAction* AddItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& shortcut,
                   void (TMainform::*handler)());
  QAction* AddPopupItem(const QString& name, const QString& caption, void (TMainform::*handler)());
  void NotAvailable();
  void ToolHover(TToolPicture* over);
  void ShowWriteError(const dialogs::WriteResult& r);
  void LoadFavorites();
  // Writes the RECENT lines "0", "1", ... and removes the keys past the last one.
  void WriteRecent(const std::vector<std::string>& values);
  bool OpenZipArgument(const std::string& path);
  // The end of a command that showed progress: bar and button hidden, the total
  // line back in Panel4, and in Panel3 what Cancel left behind (or nothing).
  void EndOperation(const char* cancelledText);
  void StringGrid1EndSort();
  void CentreOnScreen();
  void ConnectRarEvents();
  // The progress bar's range for a file of size bytes (shifted to fit an int).
  void StartRarBar(std::uint64_t size);
  int rarBarShift_ = 0;

  QStringList arguments_;
  bool activated_ = false;
  bool commandLineDone_ = false;
  bool shown_ = false;
  // Handlers by menu item name; the toolbar pictures run the same ones.
  std::map<QString, void (TMainform::*)()> handlers_;
  std::set<std::string> reportedLayoutProblems_;
  std::vector<std::string> rowNames_;    // full stored name of each listed row, by row tag
  std::vector<std::uint32_t> rowTimes_;  // DOS date-time of each listed row, by row tag
  std::vector<QAction*> recentItems_;
  QAction* recentSeparator_ = nullptr;
};
