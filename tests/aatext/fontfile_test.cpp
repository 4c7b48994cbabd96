// Font files read a few bytes at a time: the same faces and outlines as FreeType's own open,
// no font file mapped into the process (Qt's faces included), clean failures.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <fontconfig/fontconfig.h>
#include <fstream>
#include <string>
#include <vector>

#include "aatext/canvas.h"
#include "aatext/fontfile.h"
#include "aatext/smoothfontex.h"
#include "testsupport.h"

#include FT_OUTLINE_H

namespace zl {
namespace {

std::string FontFile(const char* family) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FcChar8* file = nullptr;
    std::string path;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<const char*>(file);
    if (match) FcPatternDestroy(match);
    return path;
}

// The font files the process has mapped, by the end of their names.
std::vector<std::string> MappedFontFiles() {
    std::ifstream maps("/proc/self/maps");
    std::vector<std::string> found;
    for (std::string line; std::getline(maps, line);)
        for (const char* end : {".ttc", ".ttf", ".otf", ".otc"})
            if (line.size() > 4 && line.compare(line.size() - 4, 4, end) == 0) found.push_back(line);
    return found;
}

int OpenFiles() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

// Points, tags and contours of a glyph as FreeType loads it.
std::vector<long> Outline(FT_Face face, unsigned code) {
    std::vector<long> out;
    if (FT_Set_Pixel_Sizes(face, 0, 48) != 0 || FT_Load_Char(face, code, FT_LOAD_NO_BITMAP) != 0) return out;
    const FT_Outline& o = face->glyph->outline;
    for (int i = 0; i < o.n_points; ++i) out.insert(out.end(), {o.points[i].x, o.points[i].y, long{o.tags[i]}});
    for (int i = 0; i < o.n_contours; ++i) out.push_back(o.contours[i]);
    out.push_back(face->glyph->advance.x);
    return out;
}

class FontFileTest : public ::testing::Test {
protected:
    FontFileTest() { FT_Init_FreeType(&library); }
    ~FontFileTest() override { FT_Done_FreeType(library); }
    FT_Library library = nullptr;
};

TEST_F(FontFileTest, FacesMatchFreeTypesOwnOpen) {
    // A collection's later faces too: the index picks the face within the file.
    const struct {
        const char* family;
        long index;
        std::vector<unsigned> codes;
    } cases[] = {{"AR PL UMing CN", 0, {0x663E, 0x9F98, 'A', 0xFF0C}},
                 {"AR PL UMing CN", 1, {0x663E, 'g'}},
                 {"WenQuanYi Zen Hei", 0, {0x5B57, 'W'}},
                 {"DejaVu Sans", 0, {'j', 0x20AC}}};
    for (const auto& c : cases) {
        const std::string file = FontFile(c.family);
        ASSERT_FALSE(file.empty()) << c.family;
        FT_Face ours = nullptr, theirs = nullptr;
        FT_Open_Args args{};
        args.flags = FT_OPEN_PATHNAME;
        args.pathname = const_cast<char*>(file.c_str());
        ASSERT_EQ(OpenFontFace(library, file.c_str(), c.index, &ours), 0) << file;
        ASSERT_EQ(FT_Open_Face(library, &args, c.index, &theirs), 0) << file;
        EXPECT_STREQ(ours->family_name, theirs->family_name);
        EXPECT_EQ(ours->num_faces, theirs->num_faces);
        EXPECT_EQ(ours->num_glyphs, theirs->num_glyphs);
        for (unsigned code : c.codes) {
            const std::vector<long> outline = Outline(ours, code);
            EXPECT_GT(outline.size(), 3u) << c.family << " U+" << std::hex << code;
            EXPECT_EQ(outline, Outline(theirs, code)) << c.family << " U+" << std::hex << code;
        }
        FT_Done_Face(ours);
        FT_Done_Face(theirs);
    }
}

TEST_F(FontFileTest, TextDrawnByQtAndBySmoothTextMapsNoFontFile) {
    // Qt's faces open through the same path, so neither keeps a font file mapped whole.
    QImage image(200, 40, QImage::Format_Grayscale8);
    image.fill(0);
    {
        QPainter painter(&image);
        QFont font("AR PL UMing CN");
        font.setPixelSize(24);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(2, 30, QString::fromUtf8("显示屏幕滚动文字"));
    }
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ink += image.pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_GT(ink, 100);
    QImage target = test::Canvas24(64, 32);
    TCanvas canvas{&target};
    TSmoothFontEx smooth{&canvas};
    test::SetFont(canvas.Font, "宋体", -24);
    smooth.Mask().DrawText(Utf8ToGbk("走马灯文字"));
    EXPECT_GT(smooth.Mask().Width(), 0);
    EXPECT_EQ(MappedFontFiles(), std::vector<std::string>());
}

TEST_F(FontFileTest, FilesThatAreNoFontFailAndStayClosed) {
    const std::string notFont = std::string(ZORLED_BINARY_DIR) + "/fontfile-not-a-font.ttf";
    std::ofstream(notFont) << "not a font at all";
    const int before = OpenFiles();
    const struct {
        std::string path;
        FT_Error error;  // -1: any error, as FreeType's stdio streams report it
    } cases[] = {{"/nonexistent/font.ttf", FT_Err_Cannot_Open_Resource},
                 {notFont, -1},
                 {"/tmp", -1}};
    for (const auto& c : cases) {
        FT_Face face = nullptr;
        const FT_Error error = OpenFontFace(library, c.path.c_str(), 0, &face);
        if (c.error == -1)
            EXPECT_NE(error, 0) << c.path;
        else
            EXPECT_EQ(error, c.error) << c.path;
        EXPECT_EQ(face, nullptr) << c.path;
    }
    FT_Face face = nullptr;
    EXPECT_EQ(OpenFontFace(library, nullptr, 0, &face), FT_Err_Invalid_Argument);
    EXPECT_EQ(OpenFiles(), before);
    std::remove(notFont.c_str());
}

}  // namespace
}  // namespace zl
