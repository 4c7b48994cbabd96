#include "aatext/fontfile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace zl {
namespace {

unsigned long ReadAt(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
    // A count of 0 is a seek: anything but 0 back refuses it.
    if (count == 0) return offset > stream->size ? 1 : 0;
    const int fd = static_cast<int>(stream->descriptor.value);
    unsigned long done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<unsigned long>(n);
    }
    return done;
}

// FreeType calls it when the face is done with, and before FT_Open_Face returns an error; it
// never touches the stream after.
void CloseStream(FT_Stream stream) {
    close(static_cast<int>(stream->descriptor.value));
    std::free(stream);
}

}  // namespace

FT_Error OpenFontFace(FT_Library library, const char* path, FT_Long faceIndex, FT_Face* face) {
    FT_Open_Args args{};
    if (!path) return FT_Err_Invalid_Argument;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // What this cannot read as a plain file FreeType opens its own way, with its own errors.
        if (fd >= 0) close(fd);
        args.flags = FT_OPEN_PATHNAME;
        args.pathname = const_cast<char*>(path);
        return FT_Open_Face(library, &args, faceIndex, face);
    }
    auto* stream = static_cast<FT_Stream>(std::calloc(1, sizeof(FT_StreamRec)));
    if (!stream) {
        close(fd);
        return FT_Err_Out_Of_Memory;
    }
    stream->size = static_cast<unsigned long>(st.st_size);
    stream->descriptor.value = fd;
    stream->read = ReadAt;
    stream->close = CloseStream;
    args.flags = FT_OPEN_STREAM;
    args.stream = stream;
    return FT_Open_Face(library, &args, faceIndex, face);
}

}  // namespace zl

// Qt and fontconfig open their faces by path through this name; the program's definition takes
// the place of FreeType's for every library of the process.
extern "C" FT_Error FT_New_Face(FT_Library library, const char* filepathname, FT_Long face_index, FT_Face* aface) {
    return zl::OpenFontFace(library, filepathname, face_index, aface);
}
