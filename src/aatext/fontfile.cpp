#include "aatext/fontfile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace zl {
namespace {

// FreeType reads a glyph's outline and then its metrics a field at a time from tables far apart:
// the blocks read last are kept (at most 128 KB a face, a line of text's worth) so those reads
// come from memory and not a system call each.
constexpr unsigned long kBlockBytes = 2048;
constexpr std::size_t kBlocks = 64;

struct FontFile {
    FT_StreamRec stream{};
    int fd = -1;
    struct Block {
        unsigned long offset = 0;
        unsigned long bytes = 0;
        unsigned long used = 0;
        std::unique_ptr<unsigned char[]> data;
    };
    std::vector<Block> blocks;  // grows to kBlocks as needed
    unsigned long clock = 0;
};

unsigned long ReadFully(int fd, unsigned long offset, unsigned char* buffer, unsigned long count) {
    unsigned long done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<unsigned long>(n);
    }
    return done;
}

FontFile::Block& BlockAt(FontFile& file, unsigned long offset) {
    FontFile::Block* oldest = nullptr;
    for (FontFile::Block& b : file.blocks) {
        if (b.offset == offset) {
            b.used = ++file.clock;
            return b;
        }
        if (!oldest || b.used < oldest->used) oldest = &b;
    }
    if (file.blocks.size() < kBlocks) {
        oldest = &file.blocks.emplace_back();
        oldest->data = std::make_unique<unsigned char[]>(kBlockBytes);
    }
    oldest->offset = offset;
    oldest->bytes = ReadFully(file.fd, offset, oldest->data.get(), kBlockBytes);
    oldest->used = ++file.clock;
    return *oldest;
}

unsigned long ReadAt(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
    // A count of 0 is a seek: anything but 0 back refuses it.
    if (count == 0) return offset > stream->size ? 1 : 0;
    FontFile& file = *static_cast<FontFile*>(stream->descriptor.pointer);
    if (count >= kBlockBytes) return ReadFully(file.fd, offset, buffer, count);
    unsigned long done = 0;
    while (done < count) {
        const unsigned long at = offset + done, start = at - at % kBlockBytes;
        const FontFile::Block& block = BlockAt(file, start);
        if (block.bytes <= at - start) break;
        const unsigned long n = std::min(count - done, block.bytes - (at - start));
        std::memcpy(buffer + done, block.data.get() + (at - start), n);
        done += n;
    }
    return done;
}

// FreeType calls it when the face is done with, and before FT_Open_Face returns an error; it
// never touches the stream after.
void CloseStream(FT_Stream stream) {
    FontFile* file = static_cast<FontFile*>(stream->descriptor.pointer);
    close(file->fd);
    delete file;
}

}  // namespace

FT_Error OpenFontFace(FT_Library library, const char* path, FT_Long faceIndex, FT_Face* face) {
    if (!path) return FT_Err_Invalid_Argument;
    // What this cannot read as a face of a plain file FreeType opens its own way: the same
    // errors, and a Mac font's resource fork beside the file found as before.
    auto byPath = [&] {
        FT_Open_Args args{};
        args.flags = FT_OPEN_PATHNAME;
        args.pathname = const_cast<char*>(path);
        return FT_Open_Face(library, &args, faceIndex, face);
    };
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        return byPath();
    }
    auto* file = new (std::nothrow) FontFile;
    if (!file) {
        close(fd);
        return byPath();
    }
    file->fd = fd;
    file->stream.size = static_cast<unsigned long>(st.st_size);
    file->stream.descriptor.pointer = file;
    file->stream.read = ReadAt;
    file->stream.close = CloseStream;
    FT_Open_Args args{};
    args.flags = FT_OPEN_STREAM;
    args.stream = &file->stream;
    return FT_Open_Face(library, &args, faceIndex, face) == 0 ? 0 : byPath();
}

}  // namespace zl

// Qt and fontconfig open their faces by path through this name; the program's definition takes
// the place of FreeType's for every library of the process.
extern "C" FT_Error FT_New_Face(FT_Library library, const char* filepathname, FT_Long face_index, FT_Face* aface) {
    return zl::OpenFontFace(library, filepathname, face_index, aface);
}
