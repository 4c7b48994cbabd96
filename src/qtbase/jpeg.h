#pragma once
#include <QImage>
#include <cstdint>
#include <optional>
#include <string>

namespace zl {

// Decoded pictures are held to Qt's image allocation limit (which already stops bitmaps and
// icons), so a header claiming a huge size is refused before anything of that size is allocated.
std::int64_t PictureByteLimit();
// The message refusing a picture of that size, or nothing when it may be decoded.
std::optional<std::string> PictureSizeError(std::int64_t width, std::int64_t height, int bytesPerPixel);

// libjpeg called directly; a rejected stream fails with "JPEG error #%d" (the decoder's code).
QImage DecodeJpeg(const std::string& data);
std::string EncodeJpeg(const QImage& image, int quality = 90);

}  // namespace zl
