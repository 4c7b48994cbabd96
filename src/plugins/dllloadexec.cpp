#include "plugins/dllloadexec.h"

#include <dlfcn.h>

#include "plugins/pluginfolders.h"

namespace zl {

LibraryHandle LoadLibraryFile(const std::string& stored) {
    const auto file = FindLibraryFile(stored);
    if (!file) return nullptr;
    // Always a full path, so dlopen never looks anywhere but at this file.
    LibraryHandle handle = ::dlopen(file->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) ::dlerror();
    return handle;
}

void ReleaseLibrary(LibraryHandle handle) {
    if (handle) ::dlclose(handle);
}

void* FindExport(LibraryHandle handle, const char* exportName) {
    if (!handle) return nullptr;
    void* address = ::dlsym(handle, exportName);
    if (!address) ::dlerror();
    return address;
}

LibraryHandle CallExport(const std::string& path, const char* exportName) {
    LibraryHandle handle = LoadLibraryFile(path);
    if (auto* call = reinterpret_cast<void (*)()>(FindExport(handle, exportName))) call();
    return handle;
}

void CallExportAndRelease(const std::string& path, const char* exportName) {
    LoadedLibrary library(CallExport(path, exportName));
}

}  // namespace zl
