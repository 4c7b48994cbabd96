#include "qtbase/jpeg.h"

#include <QImageReader>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "core/error.h"

namespace zl {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int scans = 0;  // set when decoding stopped at too many scans
};

// Real encoders write at most a few dozen scans; a file that repeats a small scan thousands
// of times decodes for minutes.
constexpr int kMaxJpegScans = 100;

void OnProgress(j_common_ptr common) {
    const auto* info = reinterpret_cast<j_decompress_ptr>(common);
    if (info->input_scan_number <= kMaxJpegScans) return;
    auto* err = reinterpret_cast<ErrorManager*>(common->err);
    err->scans = info->input_scan_number;
    std::longjmp(err->jump, 1);
}

void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void Silent(j_common_ptr, int) {}

}  // namespace

std::int64_t PictureByteLimit() { return std::int64_t{QImageReader::allocationLimit()} << 20; }

std::optional<std::string> PictureSizeError(std::int64_t width, std::int64_t height, int bytesPerPixel) {
    const std::int64_t bytes = width * height * bytesPerPixel;
    if (width <= 32767 && height <= 32767 && bytes <= PictureByteLimit()) return std::nullopt;
    return Format("Picture of %lld x %lld pixels is too large: it needs %lld MB, at most %d MB are allowed",
                  static_cast<long long>(width), static_cast<long long>(height),
                  static_cast<long long>((bytes + (1 << 20) - 1) >> 20), QImageReader::allocationLimit());
}

QImage DecodeJpeg(const std::string& data) {
    jpeg_decompress_struct info{};
    ErrorManager err{};
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = Silent;
    QImage image;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = OnProgress;
    if (setjmp(err.jump)) {
        const int code = err.pub.msg_code;
        jpeg_destroy_decompress(&info);
        if (err.scans > 0)
            throw Error(Format("JPEG picture has more than %d scans (scan %d reached): refused", kMaxJpegScans, err.scans));
        throw Error(Format("JPEG error #%d", code));
    }
    jpeg_create_decompress(&info);
    info.progress = &progress;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    // Before the decoder allocates anything of the picture's size: the header may claim any size.
    if (const auto refused = PictureSizeError(static_cast<std::int64_t>(info.image_width),
                                              static_cast<std::int64_t>(info.image_height), 3)) {
        jpeg_destroy_decompress(&info);
        throw Error(*refused);
    }
    info.mem->max_memory_to_use = static_cast<long>(PictureByteLimit());
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        throw Error(Format("Out of memory for a JPEG picture of %u x %u pixels", info.output_width, info.output_height));
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

std::string EncodeJpeg(const QImage& source, int quality) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info{};
    ErrorManager err{};
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        const int code = err.pub.msg_code;
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw Error(Format("JPEG error #%d", code));
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(image.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

}  // namespace zl
