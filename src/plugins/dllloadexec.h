#pragma once
#include <string>

// Loading a library and calling one parameterless export of it.
namespace zl {

using LibraryHandle = void*;

// Loads the library the stored path names (see FindLibraryFile) and calls `exportName` when it
// has one; the library stays loaded. Returns the handle, or null when the file is missing or
// does not load. Nothing is reported: a missing module or export is routine.
LibraryHandle CallExport(const std::string& path, const char* exportName);

// CallExport, then releases the load it made.
void CallExportAndRelease(const std::string& path, const char* exportName);

// Loads a library file by its full path; null when it does not load.
LibraryHandle LoadLibraryFile(const std::string& path);
void ReleaseLibrary(LibraryHandle handle);
// The export's address, or null.
void* FindExport(LibraryHandle handle, const char* exportName);

// Releases a load on every way out of a scope.
class LoadedLibrary {
public:
    explicit LoadedLibrary(LibraryHandle handle) : handle_(handle) {}
    ~LoadedLibrary() { ReleaseLibrary(handle_); }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    LibraryHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    LibraryHandle handle_;
};

}  // namespace zl
