#include "archive/loaded_libraries.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace plo {
namespace {

void* open_library(const char* name, const char* package) {
  void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    throw std::runtime_error(std::string("cannot load ") + name + " (install the " + package +
                             " package): " + ::dlerror());
  }
  return library;  // stays loaded for the rest of the process
}

template <typename F>
void resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(::dlsym(library, name));
  if (!function) throw std::runtime_error(std::string("the loaded library lacks ") + name);
}

#define PLO_RESOLVE(name) resolve(library, #name, loaded.name);

}  // namespace

const LibArchive& libarchive() {
  static const LibArchive loaded_once = [] {
    void* library = open_library("libarchive.so.13", "libarchive13");
    LibArchive loaded;
    PLO_LIBARCHIVE_FUNCTIONS(PLO_RESOLVE)
    return loaded;
  }();
  return loaded_once;
}

const LibCrypto& libcrypto() {
  static const LibCrypto loaded_once = [] {
    void* library = open_library("libcrypto.so.3", "libssl3");
    LibCrypto loaded;
    PLO_LIBCRYPTO_FUNCTIONS(PLO_RESOLVE)
    return loaded;
  }();
  return loaded_once;
}

}  // namespace plo
