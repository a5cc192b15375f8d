#include "dialogs/settings_model.h"

#include <strings.h>

#include <algorithm>

#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/routines.h"

namespace dialogs {

const std::array<const char*, kColumnCount> kColumnTitles = {"Filename", "Size", "Packed", "Modified", "Ratio", "Path"};

namespace {

using V = SettingsValues;

constexpr const char* kUserSection = "USER";
constexpr const char* kFolders = "FOLDERS";

// Save order. Reading does not depend on the order: every value is read on its own.
const SettingKey kKeys[] = {
    {"DRAG&DROP", "ACCEPTFILES", &V::cb_Outside},
    {"DRAG&DROP", "ASKNAMEBEFORE", &V::cb_AskzipName},
    {"DRAG&DROP", "DEFAULTPATH", &V::ed_Zipname},
    {"VIEWER/EDITOR", "EXTERNAL", &V::rb_External},
    {"VIEWER/EDITOR", "BUILTIN", &V::rb_BuiltIn},
    {"VIEWER/EDITOR", "EDITORPATH", &V::ed_Editor},
    {"GXVIEW", "EXTERNAL", &V::rb_ExtGraphic},
    {"GXVIEW", "QUILVIEW", &V::rb_BuiltGraphic},
    {"GXVIEW", "EXTPATH", &V::ed_Graphic},
    {"GXVIEW", "FORMATS", &V::ed_Formats},
    {"AVAILABLEINSTALL", "FILENAMES", &V::ed_Install},
    {"MISC", "OPENFAVORITES", &V::cb_OpenStart},
    {"MISC", "SAVELAYOUT", &V::cb_SaveLayout},
    {"MISC", "AFTERADDED", &V::cb_FilesAdded},
    {"MISC", "AFTERDELETED", &V::cb_AfterDeleted},
    {"MISC", "AFTEREXTRACTED", &V::cb_AfterExtracted},
    {"MISC", "EXPLORERLIKE", &V::cbExpLook},
    {"SPANNING", "KEEPFREE", &V::FreeDisk1Edit},
    {"SPANNING", "MAXSIZE", &V::MaxVolSizeEdit},
    {"SPANNING", "MINFREE", &V::MinFreeVolEdit},
    {"SPANNING", "FORMAT", &V::FormatCB},
    {"SPANNING", "AUTOSPAN", &V::CheckBox1},
    {kUserSection, "", std::monostate{}},
    {"COLOR", "HEADER", &V::pa_HeaderColor},
    {"COLOR", "WINDOW", &V::pa_WindowColor},
    {"GRID", "VERT", &V::cb_Vert},
    {"GRID", "HORZ", &V::cb_Hor},
    {"BUTTON", "TOOLTIP", &V::cb_Tooltip},
    {"DATETIME", "DATEFORMAT", &V::co_DateFormat},
    {"DATETIME", "TIMEFORMAT", &V::co_Timeformat},
    {"COMPRESSION", "SAVEDIRNAME", &V::DirNameCB},
    {"COMPRESSION", "RECURSEDIRS", &V::RecurseCB},
    {"COMPRESSION", "FORCEMSDOS", &V::CB_ForceDos},
    {"COMPRESSION", "TIMESTAMP", &V::CB_Timestamp},
    {"COMPRESSION", "LEVEL", &V::tb_complevel},
    {"SMTP", "SERVER", &V::ed_Server},
    {"SMTP", "PORT", &V::ed_Port},
    {"SMTP", "USERNAME", &V::ed_User},
    {"SMTP", "REQUIRETLS", &V::cb_RequireTls},
    {"PERSONAL", "NAME", &V::ed_Name},
    {"PERSONAL", "EMAIL", &V::ed_EMail},
    {kFolders, "STARTUP", &V::ed_StartUp},
    {kFolders, "STARTWIN", &V::rb_WinDef},
    {kFolders, "OTHERWIN", &V::rb_OtherWin},
    {kFolders, "EXTRACT", &V::ed_Extract},
    {kFolders, "LASTEXTR", &V::rb_Extr},
    {kFolders, "OTHEREXTR", &V::rb_OtherExtr},
    {kFolders, "ADD", &V::ed_Add},
    {kFolders, "LASTADD", &V::rb_Last},
    {kFolders, "OTHERADD", &V::rb_OtherLast},
    {kFolders, "TEMP", &V::ed_Temp},
};

// Radio buttons that share a group: checking the second unchecks the first, so
// a file that turns both on ends with the second one on (the later one read).
constexpr std::pair<bool V::*, bool V::*> kRadioPairs[] = {
    {&V::rb_External, &V::rb_BuiltIn}, {&V::rb_ExtGraphic, &V::rb_BuiltGraphic}, {&V::rb_WinDef, &V::rb_OtherWin},
    {&V::rb_Extr, &V::rb_OtherExtr},   {&V::rb_Last, &V::rb_OtherLast},
};

struct FactoryColumn {
  const char* title;
  const char* order;
  bool shown;
  const char* width;
};
constexpr FactoryColumn kFactoryColumns[] = {
    {"Filename", "1", true, "80"},  {"Packed", "2", true, "84"}, {"Size", "3", true, "84"},
    {"Modified", "4", true, "100"}, {"Path", "5", true, "100"},  {"Ratio", "6", false, "30"},
};

constexpr int kMaxLevel = 9;

// Orders "key=value" lines as text by key, then by value: "1" < "10" < "2".
bool lessText(const std::string& a, const std::string& b) {
  const auto ea = a.find('='), eb = b.find('=');
  const std::string ka = a.substr(0, ea), kb = b.substr(0, eb);
  if (int c = ::strcasecmp(ka.c_str(), kb.c_str()); c != 0) return c < 0;
  const std::string va = ea == std::string::npos ? "" : a.substr(ea + 1);
  const std::string vb = eb == std::string::npos ? "" : b.substr(eb + 1);
  return ::strcasecmp(va.c_str(), vb.c_str()) < 0;
}

}  // namespace

SettingsValues::SettingsValues() {
  const std::string home = platform::homeFolder();
  ed_Zipname = home + "/Noname.zip";
  ed_StartUp = home;
  ed_Extract = home;
  ed_Add = home;
  ed_Temp = platform::tempFolder();
  for (std::size_t i = 0; i < kColumnCount; ++i) Columns[i].Name = kColumnTitles[i];
  SetFactoryColumns();
}

ColumnRow* SettingsValues::Column(const std::string& title) {
  for (auto& row : Columns)
    if (row.Name == title) return &row;
  return nullptr;
}

const ColumnRow* SettingsValues::Column(const std::string& title) const {
  return const_cast<SettingsValues*>(this)->Column(title);
}

void SettingsValues::SetFactoryColumns() {
  for (const auto& f : kFactoryColumns) {
    ColumnRow* row = Column(f.title);
    row->Order = f.order;
    row->Shown = f.shown;
    row->Width = f.width;
  }
}

std::span<const SettingKey> SettingKeys() { return kKeys; }

std::string ConfigFileName() { return platform::ProgramPath(1) + "Kelvory.Ini"; }

TSettings::TSettings(std::string fileName)
    : fileName_(std::move(fileName)),
      writer_([](const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                 std::string* error) { return platform::ini::writeString(file, section, key, value, error); }) {}

std::string TSettings::WriteError() const { return "Unable to write to " + platform::ini::resolveFileName(fileName_); }

void TSettings::LoadSettings() {
  ReadValues();
  if (Hooks.OnMailFieldsRead) Hooks.OnMailFieldsRead();
  ReadColumnLayout();
  if (Hooks.OnApplyDisplay) Hooks.OnApplyDisplay();
}

void TSettings::ReadValues() {
  namespace ini = platform::ini;
  const SettingsValues factory;
  for (const SettingKey& k : kKeys) {
    if (auto* b = std::get_if<bool V::*>(&k.field)) {
      this->*(*b) = ini::readBool(fileName_, k.section, k.key, factory.*(*b));
    } else if (auto* i = std::get_if<std::int32_t V::*>(&k.field)) {
      this->*(*i) = ini::readInt(fileName_, k.section, k.key, factory.*(*i));
    } else if (auto* s = std::get_if<std::string V::*>(&k.field)) {
      this->*(*s) = ini::readString(fileName_, k.section, k.key, factory.*(*s));
    }
  }
  // The level lives in a track bar of 0..9, which cannot hold anything else.
  tb_complevel = std::clamp(tb_complevel, 0, kMaxLevel);
  for (const auto& [first, second] : kRadioPairs)
    if (this->*second) this->*first = false;
}

void TSettings::ReadColumnLayout() {
  ColumnDefs = platform::ini::readSection(fileName_, kUserSection);
  if (ColumnDefs.size() < kColumnCount) {
    SetFactoryColumns();
    if (Hooks.OnDefaultColumnLayout) Hooks.OnDefaultColumnLayout();
    return;
  }
  std::stable_sort(ColumnDefs.begin(), ColumnDefs.end(), lessText);
  for (std::size_t i = 0; i < kColumnCount; ++i) {
    // "order=title;flag;width": only the first "=" separates key and value.
    std::string line = ColumnDefs[i];
    platform::ReplaceText("=", line, ";", false);
    ColumnRow* row = Column(platform::GetField(line, 2, ";"));
    if (!row) continue;
    row->Order = platform::GetField(line, 1, ";");
    row->Shown = platform::GetField(line, 3, ";") == "True";
    row->Width = platform::GetField(line, 4, ";");
  }
}

bool TSettings::WriteValue(const std::string& section, const std::string& key, const std::string& value) {
  std::string reason;
  if (batch_) return batch_->writeString(section, key, value, &reason);
  return writer_(fileName_, section, key, value, &reason);
}

bool TSettings::WriteColumns() {
  // Creation order; a later row with the same order number replaces an earlier one.
  for (const ColumnRow& row : Columns) {
    std::string value = row.Name + ";" + (row.Shown ? "True" : "False") + ";" + row.Width;
    if (!WriteValue(kUserSection, row.Order, value)) return false;
  }
  return true;
}

WriteResult TSettings::SaveSettings() {
  // The whole save replaces the file once (one flush to disk instead of one per
  // key); a replaced writer (tests) gets every key on its own.
  std::optional<platform::ini::Batch> batch;
  if (!customWriter_) batch.emplace(fileName_);
  struct Reset {
    platform::ini::Batch*& slot;
    ~Reset() { slot = nullptr; }
  } reset{batch_};
  batch_ = batch ? &*batch : nullptr;
  for (const SettingKey& k : kKeys) {
    bool ok = true;
    if (auto* b = std::get_if<bool V::*>(&k.field)) {
      ok = WriteValue(k.section, k.key, this->*(*b) ? "1" : "0");
    } else if (auto* i = std::get_if<std::int32_t V::*>(&k.field)) {
      ok = WriteValue(k.section, k.key, std::to_string(this->*(*i)));
    } else if (auto* s = std::get_if<std::string V::*>(&k.field)) {
      ok = WriteValue(k.section, k.key, this->*(*s));
    } else {
      ok = WriteColumns();
    }
    if (!ok) return {false, WriteError()};
    if (std::string_view(k.section) == "BUTTON" && Hooks.OnTooltipsSaved) Hooks.OnTooltipsSaved();
  }
  if (batch) {
    std::string reason;
    bool committed = batch->commit(&reason);
    batch_ = nullptr;
    if (!committed) return {false, WriteError()};
  }
  if (Hooks.OnToolbarReset) Hooks.OnToolbarReset();
  LoadSettings();
  return {};
}

std::optional<std::string> TSettings::LastFolder(char kind) const {
  const std::string home = platform::homeFolder();
  auto existingOrHome = [&](const std::string& folder) { return platform::directoryExists(folder) ? folder : home; };
  switch (kind) {
    case 'S':
      if (rb_WinDef) return home;
      if (platform::directoryExists(ed_StartUp)) return ed_StartUp;
      return std::nullopt;
    case 'E':
      return existingOrHome(rb_Extr ? platform::ini::readString(fileName_, kFolders, "LASTE", home) : ed_Extract);
    case 'A': return existingOrHome(rb_Last ? platform::ini::readString(fileName_, kFolders, "LASTA", home) : ed_Add);
    default: return std::nullopt;
  }
}

WriteResult TSettings::LastFolder(char kind, const std::string& folder) {
  const char* key = nullptr;
  if (kind == 'E' && rb_Extr) key = "LASTE";
  if (kind == 'A' && rb_Last) key = "LASTA";
  if (!key) return {};
  if (!WriteValue(kFolders, key, folder)) return {false, WriteError()};
  return {};
}

}  // namespace dialogs
