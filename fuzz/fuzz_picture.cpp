#include <QCoreApplication>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "qtbase/picture.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Image format plug-ins (the icon reader) are found through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

// Picture data as page files carry it, through our own decoders: whatever is accepted is
// written again in a form that reads back to the same bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zl::TPicture picture;
    try {
        picture.SetData({reinterpret_cast<const char*>(data), size});
    } catch (const zl::Error&) {
        return 0;
    }
    const std::string once = picture.Data();
    zl::TPicture again;
    try {
        again.SetData(once);
    } catch (const zl::Error&) {
        __builtin_trap();
    }
    if (again.Data() != once || again.GraphicKind() != picture.GraphicKind()) __builtin_trap();
    return 0;
}
