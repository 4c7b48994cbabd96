#pragma once
#include <QImage>
#include <string>

namespace zl {

// libjpeg called directly; a rejected stream fails with "JPEG error #%d" (the decoder's code).
QImage DecodeJpeg(const std::string& data);
std::string EncodeJpeg(const QImage& image, int quality = 90);

}  // namespace zl
