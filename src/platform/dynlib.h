// Shared libraries loaded at run time (dlopen/dlsym), with readable errors.
#pragma once

#include <string>

namespace platform {

class DynLib {
 public:
  DynLib() = default;
  ~DynLib();
  DynLib(const DynLib&) = delete;
  DynLib& operator=(const DynLib&) = delete;
  DynLib(DynLib&& other) noexcept;
  DynLib& operator=(DynLib&& other) noexcept;

  // Loads path (a bare name is looked up on the system's library path). On failure
  // returns false, stays unloaded and error() says why.
  bool load(const std::string& path);
  void unload();
  bool loaded() const { return handle_ != nullptr; }
  // Address of an exported symbol, or nullptr (error() then says why).
  void* symbol(const char* name);
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace platform
