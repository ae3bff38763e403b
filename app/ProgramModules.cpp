#include "app/ProgramModules.h"

#include <dlfcn.h>

#include <filesystem>

#include "support/AppPaths.h"
#include "support/Exceptions.h"

#ifndef VQ_MODULE_DIR_FROM_BIN
#error "VQ_MODULE_DIR_FROM_BIN must name the module folder relative to the program's folder"
#endif

void* ProgramModuleEntry(const char* module, const char* entry) {
  if (void* own = dlsym(RTLD_DEFAULT, entry)) return own;
  const std::string path =
      std::filesystem::path(ProgramFolder() + "/" VQ_MODULE_DIR_FROM_BIN "/" + module + ".so")
          .lexically_normal();
  // Kept loaded for the rest of the run: its dialogs and Qt's caches may still point into it.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    throw Exception(std::string("A part of the program cannot be loaded (") + (why ? why : path.c_str()) +
                    "). Please reinstall the program.");
  }
  void* function = dlsym(handle, entry);
  if (!function)
    throw Exception("The program part " + path + " lacks " + entry + ". Please reinstall the program.");
  return function;
}
