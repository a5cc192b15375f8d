// TZipEngine: properties, the message routine and the engine error.
#include "zipengine/zipengine.h"

#include "platform/ui.h"

EZipEngine::EZipEngine(int messageId) : Message(zipmsg::Text(messageId)), MessageId(messageId), ShowBox(false) {}

EZipEngine::EZipEngine(int messageId, int arg)
    : Message(ZipFormat(zipmsg::Text(messageId), {static_cast<long long>(arg)})), MessageId(messageId), ShowBox(true) {}

EZipEngine::EZipEngine(int messageId, const std::string& arg)
    : Message(ZipFormat(zipmsg::Text(messageId), {arg})), MessageId(messageId), ShowBox(true) {}

TZipEngine::TZipEngine() = default;
TZipEngine::~TZipEngine() = default;

void TZipEngine::setZipFilename(const std::string& name) {
  ZipFilename_ = name;
  List();
}

void TZipEngine::setDLLDirectory(const std::string& folder) {
  DLLDirectory_ = folder;
  if (DLLDirectory_.size() > 1 && DLLDirectory_.back() == '/') DLLDirectory_.pop_back();
}

std::string TZipEngine::AppendSlash(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder;
  return folder + '/';
}

int TZipEngine::EntryCount() const {
  if (ZipFilename_.empty()) return 0;
  return static_cast<int>(Entries_.size());
}

void TZipEngine::ShowZipMessage(int messageId, const std::string& extra) {
  std::string text = zipmsg::Text(messageId) + extra;
  LastErrorCode_ = messageId;
  LastMessage_ = text;
  if (!Unattended) platform::ui().message(platform::MsgKind::Warning, {}, text, platform::kOk);
  if (OnMessage) OnMessage(*this, 0, text);
}

void TZipEngine::ReportEngineError(const EZipEngine& error) {
  LastErrorCode_ = error.MessageId;
  LastMessage_ = error.Message;
  if (error.ShowBox && !Unattended)
    platform::ui().message(platform::MsgKind::Warning, {}, error.Message, platform::kOk);
  if (OnMessage) OnMessage(*this, 0, error.Message);
}

void TZipEngine::RaiseDirUpdate() {
  if (OnDirUpdate) OnDirUpdate(*this);
}
