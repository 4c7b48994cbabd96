#include "testsupport.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <sstream>

namespace zl::test {

std::string FontFileOf(const char* family, int* index) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    std::string file;
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) file = reinterpret_cast<char*>(path);
    if (index) {
        *index = 0;
        if (match) FcPatternGetInteger(match, FC_INDEX, 0, index);
    }
    if (match) FcPatternDestroy(match);
    return file;
}

std::string DescribeDifference(const QImage& expectedImage, const QImage& actualImage) {
    if (expectedImage.size() != actualImage.size()) {
        std::ostringstream out;
        out << "size " << actualImage.width() << "x" << actualImage.height() << ", expected "
            << expectedImage.width() << "x" << expectedImage.height();
        return out.str();
    }
    const QImage expected = expectedImage.convertToFormat(QImage::Format_RGB32);
    const QImage actual = actualImage.convertToFormat(QImage::Format_RGB32);
    int count = 0, maxDelta = 0;
    QRect box;
    std::ostringstream first;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb e = expected.pixel(x, y), a = actual.pixel(x, y);
            if (e == a) continue;
            const int delta = std::max({std::abs(qRed(e) - qRed(a)), std::abs(qGreen(e) - qGreen(a)),
                                        std::abs(qBlue(e) - qBlue(a))});
            maxDelta = std::max(maxDelta, delta);
            box = box.united(QRect(x, y, 1, 1));
            if (count++ < 5)
                first << " (" << x << "," << y << ") #" << std::hex << (e & 0xFFFFFF) << " vs #"
                      << (a & 0xFFFFFF) << std::dec;
        }
    if (count == 0) return {};
    std::ostringstream out;
    out << count << " pixels differ, max channel delta " << maxDelta << ", within (" << box.left() << ","
        << box.top() << ")-(" << box.right() << "," << box.bottom() << "); first:" << first.str();
    return out.str();
}

}  // namespace zl::test
