#include "platform/dynlib.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

DynLib::~DynLib() { unload(); }

DynLib::DynLib(DynLib&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynLib& DynLib::operator=(DynLib&& other) noexcept {
  if (this != &other) {
    unload();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool DynLib::load(const std::string& path) {
  unload();
  error_.clear();
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = ::dlerror();
    error_ = e ? e : ("cannot load " + path);
    return false;
  }
  return true;
}

void DynLib::unload() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

void* DynLib::symbol(const char* name) {
  if (!handle_) {
    error_ = "library not loaded";
    return nullptr;
  }
  ::dlerror();
  void* p = ::dlsym(handle_, name);
  if (!p) {
    const char* e = ::dlerror();
    error_ = e ? e : (std::string("symbol not found: ") + name);
  }
  return p;
}

}  // namespace platform
