#pragma once
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zl {

// What a sign accepts in one bundle.
constexpr size_t kMaxBundleBody = 64u * 1024 * 1024;
constexpr size_t kMaxBundleEntries = 10000;

struct BundleFile {
    std::string name;  // UTF-8, a plain file name
    std::string data;
};

struct BuiltBundle {
    std::string body;
    std::vector<BundleFile> files;
    // Data files and data modules the pages name; they are not carried.
    std::vector<std::string> warnings;
};

// The tar body of a play home: SelectList.PLN, PlayList.PLN, the selected plans and every page
// (with its unit) they name, after manifest.json.
BuiltBundle BuildBundle(const std::filesystem::path& pagedef, const std::string& group, std::int64_t version);
// manifest.json (version, group, files with name, size and SHA-256) followed by the files.
std::string MakeBundleBody(const std::string& group, std::int64_t version, const std::vector<BundleFile>& files);
// A POSIX (pax) tar of regular files with UTF-8 names, exactly as given.
std::string WriteTar(const std::vector<BundleFile>& files);

// The version in a bundle body's manifest, 0 when it has none that can be read. Checks nothing else.
std::int64_t BundleVersion(std::string_view body);

// A file of a checked bundle. Its bytes are read in place from the body where the archive allows,
// so a sign holds one copy of a large bundle, not two: the body must outlive the bundle.
struct CheckedFile {
    std::string name;  // UTF-8, a plain file name
    std::string_view data;
};

struct CheckedBundle {
    std::int64_t version = 0;
    std::string group;
    std::vector<CheckedFile> files;  // without the manifest
    std::deque<std::string> copies;  // the bytes of entries that could not be read in place
};

// Checks a bundle body in full (size, entry count, plain names, no case-insensitive duplicates,
// manifest sizes and SHA-256, the group). Fails with the reason.
CheckedBundle CheckBundle(std::string_view body, const std::string& group);

// Unpacks into a new folder under <home>/fleet/ and swaps <home>/pagedef to it with one rename
// (a real pagedef folder is exchanged with the link in one step and then kept as pagedef.local,
// unless empty), keeping the current folder as the one before. Folders older than that go
// first, and the free space is checked before unpacking. Nothing changes when it fails.
// `step`, when given, is called after each step that a kill could follow (for tests).
// Returns the new folder.
std::filesystem::path ApplyBundle(const std::filesystem::path& home, const CheckedBundle& bundle,
                                  const std::string& bodySha256,
                                  const std::function<void(const char* step)>& step = {});
// Puts right what a kill during ApplyBundle can leave behind: a half-unpacked folder, a
// temporary link name, or the old pagedef folder not yet set aside. Run before the first apply.
void RecoverFleetHome(const std::filesystem::path& home);

// Points the resume record at the first page of the selection now in <home>/pagedef, so that a
// restart does not take an index of the selection before it. Never fails: without a readable
// selection the record goes, and play starts at the first page anyway.
void ResetResumePoint(const std::filesystem::path& home);

// Whether <home>/pagedef is managed by the fleet (a link into <home>/fleet).
bool IsFleetManaged(const std::filesystem::path& home);

// <home>/fleet/applied.json: the newest version seen per topic, and the applied bundle's hash,
// group and version.
class AppliedVersions {
public:
    explicit AppliedVersions(std::filesystem::path home);
    std::int64_t Version(const std::string& topic) const;
    void SetVersion(const std::string& topic, std::int64_t version);
    const std::string& Bundle() const { return bundle_; }
    void SetBundle(const std::string& sha256);
    // The bundle now in pagedef: where it came from and its version (0 before the first).
    const std::string& AppliedGroup() const { return group_; }
    std::int64_t AppliedVersion() const { return version_; }
    void SetApplied(const std::string& topic, const std::string& group, std::int64_t version,
                    const std::string& sha256);

private:
    void Save() const;
    std::filesystem::path file_;
    std::map<std::string, std::int64_t> versions_;
    std::string bundle_;
    std::string group_;
    std::int64_t version_ = 0;
};

}  // namespace zl
