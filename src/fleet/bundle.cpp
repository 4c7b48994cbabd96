#include "fleet/bundle.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>
#include <stdio.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>
#include <set>

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "core/home.h"
#include "core/pagetext/parser.h"
#include "core/resumepoint.h"
#include "core/textlist.h"
#include "fleet/signature.h"
#include "fleet/topics.h"

namespace zl {
namespace fs = std::filesystem;
namespace {

std::string AsciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
    for (char c : name)
        if (c == '/' || c == '\\' || c == '\0' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

// The data files and modules a page names, as the page text holds them.
void CollectDataNames(const pagetext::Object& object, const std::string& page, std::vector<std::string>& out) {
    for (const auto& property : object.properties) {
        const bool data = property.path == "TextFileName";
        const bool module = property.path == "ExeFileName";
        if (!data && !module) continue;
        const auto* text = property.value.If<pagetext::StringValue>();
        if (!text || text->text.empty()) continue;
        out.push_back("Page \"" + page + "\" names " + (data ? "data file" : "data module") + " \"" +
                      Utf16ToUtf8(text->text) + "\"; it is not carried in the bundle");
    }
    for (const auto& child : object.children) CollectDataNames(child, page, out);
}

struct Archive {
    archive* a;
    bool reading;
    ~Archive() {
        if (reading)
            archive_read_free(a);
        else
            archive_write_free(a);
    }
};

la_ssize_t AppendToString(archive*, void* client, const void* buffer, size_t length) {
    static_cast<std::string*>(client)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

void WriteWholeFileSynced(const fs::path& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw Error(Format("Cannot create file \"%s\". %s", path.string().c_str(), std::strerror(errno)));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            throw Error(Format("Cannot write file \"%s\". %s", path.string().c_str(), std::strerror(e)));
        }
        done += static_cast<size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
}

// The current entry's bytes: a view into `body` when the archive hands them out in one block from
// it (an uncompressed tar read from memory does), else a copy kept in `copies`. Shorter than
// `size` when the entry is cut short.
std::string_view EntryData(archive* a, std::string_view body, size_t size, std::deque<std::string>& copies) {
    if (size == 0) return {};
    const void* block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    if (archive_read_data_block(a, &block, &length, &offset) != ARCHIVE_OK) return {};
    const char* bytes = static_cast<const char*>(block);
    const bool inBody = bytes >= body.data() && length <= body.size() &&
                        bytes - body.data() <= static_cast<std::ptrdiff_t>(body.size() - length);
    if (offset == 0 && length == size && inBody) return {bytes, length};
    std::string& copy = copies.emplace_back(size, '\0');
    size_t filled = 0;
    for (;;) {
        if (offset < 0 || static_cast<size_t>(offset) > size || length > size - static_cast<size_t>(offset)) return {};
        std::memcpy(copy.data() + offset, bytes, length);
        filled = std::max(filled, static_cast<size_t>(offset) + length);
        const int rc = archive_read_data_block(a, &block, &length, &offset);
        if (rc == ARCHIVE_EOF) break;
        if (rc != ARCHIVE_OK) return {};
        bytes = static_cast<const char*>(block);
    }
    return std::string_view(copy).substr(0, filled);
}

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string WriteTar(const std::vector<BundleFile>& files) {
    std::string out;
    Archive w{archive_write_new(), false};
    archive_write_set_format_pax_restricted(w.a);
    archive_write_set_bytes_in_last_block(w.a, 1);
    archive_write_open2(w.a, &out, nullptr, AppendToString, nullptr, nullptr);
    for (const BundleFile& f : files) {
        archive_entry* e = archive_entry_new();
        archive_entry_update_pathname_utf8(e, f.name.c_str());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_size(e, static_cast<la_int64_t>(f.data.size()));
        if (archive_write_header(w.a, e) != ARCHIVE_OK) {
            const std::string why = archive_error_string(w.a) ? archive_error_string(w.a) : "";
            archive_entry_free(e);
            throw Error("Cannot write bundle entry \"" + f.name + "\": " + why);
        }
        archive_write_data(w.a, f.data.data(), f.data.size());
        archive_entry_free(e);
    }
    archive_write_close(w.a);
    return out;
}

std::string MakeBundleBody(const std::string& group, std::int64_t version, const std::vector<BundleFile>& files) {
    QJsonArray list;
    for (const BundleFile& f : files)
        list.append(QJsonObject{{"name", QString::fromStdString(f.name)},
                                {"size", static_cast<qint64>(f.data.size())},
                                {"sha256", QString::fromStdString(Sha256Hex(f.data))}});
    const QJsonObject manifest{{"version", static_cast<qint64>(version)},
                               {"group", QString::fromStdString(group)},
                               {"files", list}};
    std::vector<BundleFile> all;
    all.push_back({"manifest.json", QJsonDocument(manifest).toJson(QJsonDocument::Compact).toStdString()});
    all.insert(all.end(), files.begin(), files.end());
    return WriteTar(all);
}

BuiltBundle BuildBundle(const fs::path& pagedef, const std::string& group, std::int64_t version) {
    BuiltBundle built;
    std::set<std::string> seen;
    auto add = [&](const fs::path& wanted, bool required, bool quiet = false) -> std::optional<fs::path> {
        const auto file = FindFileCaseInsensitive(wanted);
        std::error_code ec;
        if (!file || fs::is_directory(*file, ec)) {
            if (required) throw Error(Format("Cannot open file \"%s\".", wanted.string().c_str()));
            if (quiet) return std::nullopt;
            built.warnings.push_back("\"" + wanted.filename().string() + "\" is named but missing; it is left out");
            return std::nullopt;
        }
        const std::string name = file->filename().string();
        if (seen.insert(AsciiLower(name)).second) built.files.push_back({name, ReadWholeFile(*file)});
        return file;
    };
    const auto selectList = add(pagedef / "SelectList.PLN", true);
    // The plan editor's list of all plans; a home that never opened it has none.
    add(pagedef / "PlayList.PLN", false, true);
    // Schedules are optional: a plan without one plays around the clock.
    add(pagedef / "DarkHours.PLN", false, true);
    for (const std::string& plan : ReadTextList(*selectList)) {
        const auto planFile = add(pagedef / StoredPath(plan + ".LED"), false);
        if (!planFile) continue;
        add(pagedef / StoredPath(plan + ".SCH"), false, true);
        for (const std::string& page : ReadTextList(*planFile)) {
            const auto pageFile = add(pagedef / StoredPath(page + ".DFM"), false);
            if (!pageFile) continue;
            add(pagedef / StoredPath(page + ".Pas"), false);
            pagetext::Object root;
            try {
                pagetext::ParseInto(built.files.back().name == pageFile->filename().string()
                                        ? built.files.back().data
                                        : ReadWholeFile(*pageFile),
                                    root);
            } catch (const std::exception&) {
            }
            CollectDataNames(root, GbkToUtf8(page), built.warnings);
        }
    }
    std::sort(built.warnings.begin(), built.warnings.end());
    built.warnings.erase(std::unique(built.warnings.begin(), built.warnings.end()), built.warnings.end());
    built.body = MakeBundleBody(group, version, built.files);
    return built;
}

std::int64_t BundleVersion(std::string_view body) {
    Archive r{archive_read_new(), true};
    archive_read_support_format_tar(r.a);
    archive_entry* e = nullptr;
    if (archive_read_open_memory(r.a, body.data(), body.size()) != ARCHIVE_OK ||
        archive_read_next_header(r.a, &e) != ARCHIVE_OK || archive_entry_size(e) > 16 * 1024 * 1024)
        return 0;
    std::string manifest(static_cast<size_t>(std::max<la_int64_t>(0, archive_entry_size(e))), '\0');
    if (archive_read_data(r.a, manifest.data(), manifest.size()) != static_cast<la_ssize_t>(manifest.size())) return 0;
    return QJsonDocument::fromJson(QByteArray::fromStdString(manifest)).object().value("version").toInteger(0);
}

CheckedBundle CheckBundle(std::string_view body, const std::string& group) {
    if (body.size() > kMaxBundleBody)
        throw Error(Format("Bundle refused: its body of %zu bytes is over the limit of %zu", body.size(), kMaxBundleBody));
    Archive r{archive_read_new(), true};
    archive_read_support_format_tar(r.a);
    if (archive_read_open_memory(r.a, body.data(), body.size()) != ARCHIVE_OK)
        throw Error("Bundle refused: not a tar archive");
    CheckedBundle out;
    size_t copiedBytes = 0;
    std::set<std::string> names;
    QJsonObject manifest;
    bool first = true;
    for (size_t count = 0;; ++count) {
        archive_entry* e = nullptr;
        const int rc = archive_read_next_header(r.a, &e);
        if (rc == ARCHIVE_EOF) break;
        if (rc != ARCHIVE_OK)
            throw Error(std::string("Bundle refused: damaged archive: ") +
                        (archive_error_string(r.a) ? archive_error_string(r.a) : ""));
        if (count >= kMaxBundleEntries + 1)
            throw Error(Format("Bundle refused: more than %zu entries", kMaxBundleEntries));
        const char* utf8 = archive_entry_pathname_utf8(e);
        const std::string name = utf8 ? utf8 : "";
        if (!IsPlainName(name)) throw Error("Bundle refused: entry \"" + name + "\" is not a plain file name");
        if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e) || archive_entry_symlink(e))
            throw Error("Bundle refused: entry \"" + name + "\" is not a regular file");
        // A sparse entry's holes cost nothing in the message and their full size in memory.
        if (archive_entry_sparse_count(e) > 0)
            throw Error("Bundle refused: entry \"" + name + "\" is a sparse file");
        if (!names.insert(AsciiLower(name)).second)
            throw Error("Bundle refused: entry \"" + name + "\" appears twice when case is ignored");
        const la_int64_t size = archive_entry_size(e);
        if (size < 0 || static_cast<size_t>(size) > body.size())
            throw Error("Bundle refused: entry \"" + name + "\" has a size that cannot be");
        // Entries read in place cost nothing; copies together may not outgrow the message, so a
        // bundle never takes more than about twice its size.
        const size_t copied = out.copies.size();
        const std::string_view data = EntryData(r.a, body, static_cast<size_t>(size), out.copies);
        if (out.copies.size() != copied) {
            copiedBytes += out.copies.back().size();
            if (copiedBytes > body.size())
                throw Error("Bundle refused: its entries take more room than the message itself");
        }
        if (data.size() != static_cast<size_t>(size))
            throw Error("Bundle refused: entry \"" + name + "\" is cut short");
        if (first) {
            if (name != "manifest.json") throw Error("Bundle refused: manifest.json is not its first entry");
            QJsonParseError error{};
            const QJsonDocument doc =
                QJsonDocument::fromJson(QByteArray(data.data(), static_cast<qsizetype>(data.size())), &error);
            if (!doc.isObject()) throw Error("Bundle refused: manifest.json is not a JSON object");
            manifest = doc.object();
            first = false;
            continue;
        }
        out.files.push_back({name, data});
    }
    if (first) throw Error("Bundle refused: it holds no manifest.json");
    if (out.files.size() > kMaxBundleEntries)
        throw Error(Format("Bundle refused: more than %zu entries", kMaxBundleEntries));
    out.version = manifest.value("version").toInteger(-1);
    out.group = manifest.value("group").toString().toStdString();
    if (out.version <= 0) throw Error("Bundle refused: its manifest has no version");
    if (out.group != group) throw Error("Bundle refused: it is for group \"" + out.group + "\", not \"" + group + "\"");
    const QJsonArray listed = manifest.value("files").toArray();
    if (static_cast<size_t>(listed.size()) != out.files.size())
        throw Error(Format("Bundle refused: the manifest lists %lld files, the archive holds %zu",
                           static_cast<long long>(listed.size()), out.files.size()));
    std::map<std::string, const CheckedFile*> byName;
    for (const CheckedFile& f : out.files) byName[f.name] = &f;
    for (const QJsonValue& v : listed) {
        const QJsonObject item = v.toObject();
        const std::string name = item.value("name").toString().toStdString();
        auto it = byName.find(name);
        if (it == byName.end()) throw Error("Bundle refused: the manifest lists \"" + name + "\", which it lacks");
        if (item.value("size").toInteger(-1) != static_cast<qint64>(it->second->data.size()) ||
            item.value("sha256").toString().toStdString() != Sha256Hex(it->second->data))
            throw Error("Bundle refused: \"" + name + "\" does not match its size and SHA-256 in the manifest");
        byName.erase(it);
    }
    bool hasSelectList = false;
    for (const CheckedFile& f : out.files) hasSelectList |= AsciiLower(f.name) == "selectlist.pln";
    if (!hasSelectList) throw Error("Bundle refused: it holds no SelectList.PLN");
    return out;
}

void ResetResumePoint(const fs::path& home) {
    std::error_code ec;
    try {
        const auto selectList = FindFileCaseInsensitive(home / "pagedef" / "SelectList.PLN");
        if (selectList) {
            WriteResumePoint(home, {ReadTextList(*selectList), 0});
            return;
        }
    } catch (const std::exception&) {
    }
    fs::remove(ResumePointPath(home), ec);
}

bool IsFleetManaged(const fs::path& home) {
    std::error_code ec;
    return fs::is_symlink(home / "pagedef", ec);
}

namespace {

// Where a real pagedef folder goes aside: pagedef.local, or the first free pagedef.local.N.
fs::path AsideName(const fs::path& home) {
    std::error_code ec;
    fs::path aside = home / "pagedef.local";
    for (int n = 1; fs::exists(fs::symlink_status(aside, ec)); ++n) aside = home / ("pagedef.local." + std::to_string(n));
    return aside;
}

// Keeps a sign's own pages beside the fleet's; an empty folder is not worth keeping.
void SetAside(const fs::path& home, const fs::path& folder) {
    std::error_code ec;
    if (fs::is_empty(folder, ec) && !ec) {
        fs::remove(folder, ec);
        return;
    }
    fs::rename(folder, AsideName(home));
}

std::uintmax_t FreeBytes(const fs::path& folder) {
    std::error_code ec;
    const fs::space_info space = fs::space(folder, ec);
    return ec ? static_cast<std::uintmax_t>(-1) : space.available;
}

}  // namespace

void RecoverFleetHome(const fs::path& home) {
    std::error_code ec;
    const fs::path temporary = home / ".pagedef.link";
    const auto status = fs::symlink_status(temporary, ec);
    if (fs::is_symlink(status)) {
        fs::remove(temporary, ec);
    } else if (fs::is_directory(status)) {
        // Killed after the exchange: the sign's old pages wait under the temporary name.
        if (!fs::exists(fs::symlink_status(home / "pagedef", ec))) fs::rename(temporary, home / "pagedef", ec);
        else SetAside(home, temporary);
    }
    for (fs::directory_iterator it(home / "fleet", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    }
}

fs::path ApplyBundle(const fs::path& home, const CheckedBundle& bundle, const std::string& bodySha256,
                     const std::function<void(const char* step)>& step) {
    auto done = [&](const char* name) {
        if (step) step(name);
    };
    const fs::path fleet = home / "fleet";
    fs::create_directories(fleet);
    RecoverFleetHome(home);
    const std::string folderName = std::to_string(bundle.version) + "-" + bodySha256.substr(0, 12);
    const fs::path folder = fleet / folderName;
    const fs::path staging = fleet / (folderName + ".new");
    const fs::path link = home / "pagedef";
    std::error_code ec;
    const std::string current = fs::is_symlink(link, ec) ? fs::read_symlink(link, ec).filename().string() : "";
    // Only the folder play runs from stays while the new one is unpacked: a home needs room for
    // two selections, not three.
    for (fs::directory_iterator it(fleet, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_directory() || name == current) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
    done("old folders removed");
    std::uintmax_t need = 4096;
    for (const CheckedFile& f : bundle.files) need += (f.data.size() + 4095) / 4096 * 4096 + 4096;
    const std::uintmax_t free = FreeBytes(fleet);
    if (free < need)
        throw Error(Format("Bundle not applied: it needs %ju bytes under \"%s\", and %ju are free", need,
                           fleet.string().c_str(), free));
    try {
        fs::create_directory(staging);
        for (const CheckedFile& f : bundle.files) WriteWholeFileSynced(staging / f.name, f.data);
        SyncFolder(staging);
        done("unpacked");
        fs::rename(staging, folder);
        SyncFolder(fleet);
        done("folder in place");
    } catch (const std::exception& e) {
        fs::remove_all(staging, ec);
        throw Error(std::string("Bundle not applied: ") + e.what());
    }
    try {
        const fs::path temporary = home / ".pagedef.link";
        fs::create_directory_symlink(fs::path("fleet") / folderName, temporary);
        done("link made");
        if (fs::is_directory(fs::symlink_status(link, ec))) {
            // A real folder and the link trade places in one step: pagedef is there at every moment.
            if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) != 0) {
                const int e = errno;
                fs::remove(temporary, ec);
                throw Error(Format("Cannot exchange \"%s\" with the fleet's link. %s", link.string().c_str(),
                                   std::strerror(e)));
            }
            SyncFolder(home);
            done("exchanged");
            // The apply stands from here; a folder not set aside now is at the next start.
            try {
                SetAside(home, temporary);
            } catch (const std::exception&) {
            }
        } else {
            fs::rename(temporary, link);
        }
        SyncFolder(home);
        done("linked");
    } catch (const std::exception& e) {
        fs::remove_all(folder, ec);
        throw Error(std::string("Bundle not applied: ") + e.what());
    }
    ResetResumePoint(home);
    return folder;
}

AppliedVersions::AppliedVersions(fs::path home) : file_(home / "fleet" / "applied.json") {
    std::error_code ec;
    if (!fs::exists(file_, ec)) return;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(ReadWholeFile(file_)));
    const QJsonObject versions = doc.object().value("versions").toObject();
    for (auto it = versions.begin(); it != versions.end(); ++it)
        versions_[it.key().toStdString()] = it.value().toInteger();
    bundle_ = doc.object().value("bundle").toString().toStdString();
    group_ = doc.object().value("group").toString().toStdString();
    version_ = doc.object().value("version").toInteger(0);
    // Written before the group was kept: the newest bundle version seen is the applied one.
    if (group_.empty() && !bundle_.empty())
        for (const auto& [topic, version] : versions_) {
            const FleetTopic t = ParseTopic(topic);
            if (t.kind == TopicKind::Bundle && version > version_) {
                version_ = version;
                group_ = t.group;
            }
        }
}

std::int64_t AppliedVersions::Version(const std::string& topic) const {
    auto it = versions_.find(topic);
    return it == versions_.end() ? 0 : it->second;
}

void AppliedVersions::SetVersion(const std::string& topic, std::int64_t version) {
    versions_[topic] = version;
    Save();
}

void AppliedVersions::SetBundle(const std::string& sha256) {
    bundle_ = sha256;
    Save();
}

void AppliedVersions::SetApplied(const std::string& topic, const std::string& group, std::int64_t version,
                                 const std::string& sha256) {
    versions_[topic] = version;
    group_ = group;
    version_ = version;
    bundle_ = sha256;
    Save();
}

void AppliedVersions::Save() const {
    QJsonObject versions;
    for (const auto& [topic, version] : versions_) versions.insert(QString::fromStdString(topic), static_cast<qint64>(version));
    QJsonObject root{{"versions", versions}};
    if (!bundle_.empty()) root.insert("bundle", QString::fromStdString(bundle_));
    if (!group_.empty()) {
        root.insert("group", QString::fromStdString(group_));
        root.insert("version", static_cast<qint64>(version_));
    }
    fs::create_directories(file_.parent_path());
    WriteFileAtomic(file_, QJsonDocument(root).toJson().toStdString());
}

}  // namespace zl
