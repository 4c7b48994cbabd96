// Font files read a few bytes at a time: the same faces, outlines and embedded bitmaps as
// FreeType's own open, no font file mapped into the process (Qt's faces included), the same
// failures.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
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

// The pixels of a glyph from the face's first embedded bitmap size (none without one).
std::vector<unsigned char> Strike(FT_Face face, unsigned code) {
    if (face->num_fixed_sizes == 0 || FT_Select_Size(face, 0) != 0 || FT_Load_Char(face, code, FT_LOAD_DEFAULT) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_BITMAP)
        return {};
    const FT_Bitmap& b = face->glyph->bitmap;
    std::vector<unsigned char> out{static_cast<unsigned char>(b.width), static_cast<unsigned char>(b.rows)};
    for (unsigned r = 0; r < b.rows; ++r) out.insert(out.end(), b.buffer + r * b.pitch, b.buffer + r * b.pitch + b.pitch);
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
        bool bitmaps;  // the face has embedded bitmaps of these glyphs
    } cases[] = {{"AR PL UMing CN", 0, {0x663E, 0x9F98, 0xFF0C}, true},
                 {"AR PL UMing CN", 1, {0x663E, 'g'}, true},
                 {"WenQuanYi Zen Hei", 0, {0x5B57, 'W'}, false},
                 {"DejaVu Sans", 0, {'j', 0x20AC}, false}};
    for (const auto& c : cases) {
        const std::string file = test::FontFileOf(c.family);
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
            const std::vector<unsigned char> strike = Strike(ours, code);
            EXPECT_EQ(strike.empty(), !c.bitmaps) << c.family << " U+" << std::hex << code;
            EXPECT_EQ(strike, Strike(theirs, code)) << c.family << " U+" << std::hex << code;
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

TEST_F(FontFileTest, WhatIsNoFontFailsAsFreeTypeSaysAndStaysClosed) {
    const std::string notFont = std::string(ZORLED_BINARY_DIR) + "/fontfile-not-a-font.ttf";
    std::ofstream(notFont) << "not a font at all";
    const std::string dejavu = test::FontFileOf("DejaVu Sans");
    const int before = OpenFiles();
    const struct {
        std::string path;
        long index;
    } cases[] = {{"/nonexistent/font.ttf", 0}, {notFont, 0}, {"/tmp", 0}, {dejavu, 7}};
    for (const auto& c : cases) {
        FT_Face face = nullptr, theirs = nullptr;
        FT_Open_Args args{};
        args.flags = FT_OPEN_PATHNAME;
        args.pathname = const_cast<char*>(c.path.c_str());
        const FT_Error expected = FT_Open_Face(library, &args, c.index, &theirs);
        EXPECT_NE(expected, 0) << c.path;
        EXPECT_EQ(OpenFontFace(library, c.path.c_str(), c.index, &face), expected) << c.path;
        EXPECT_EQ(face, nullptr) << c.path;
    }
    FT_Face face = nullptr;
    EXPECT_EQ(OpenFontFace(library, nullptr, 0, &face), FT_Err_Invalid_Argument);
    EXPECT_EQ(OpenFiles(), before);
    std::remove(notFont.c_str());
}

}  // namespace
}  // namespace zl
