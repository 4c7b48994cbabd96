#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>

#include <QBuffer>
#include <QPainter>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "core/atomicfile.h"
#include "core/codepage.h"
#include "core/error.h"
#include "qtbase/jpeg.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"

namespace zl {
namespace {

// A parent that stands in for the page: its colour and font are what ParentColor/ParentFont take.
class Host : public QWidget, public Control {
public:
    Host() : Control(this, nullptr) {
        SetParentFont(false);
        SetColor(clWhite);
        resize(200, 100);
    }
    const ClassInfo& Class() const override {
        static const ClassInfo info{"THost"};
        return info;
    }
};

QImage Render(QWidget& w) {
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(Qt::green);  // what shows through a transparent widget
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int CountColor(const QImage& image, QRect area, QColor color) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += QColor(image.pixel(x, y)) == color;
    return n;
}

class Label : public ::testing::Test {
protected:
    void SetUp() override {
        label_ = new Tzorledlabel(&host_, &host_);
        label_->SetAutoSize(false);
        label_->SetBounds(0, 0, 120, 30);
        label_->Font().SetColor(clBlack);
        label_->Font().SetHeight(-20);
        label_->Font().SetName("DejaVu Sans");
    }
    Host host_;
    Tzorledlabel* label_;
};

TEST_F(Label, AmpersandUnderlinesTheNextLetterAndDoubleShowsOne) {
    struct Case {
        const char* caption;
        bool showAccel;
        const char* same;  // a caption without accelerators that must draw identically, or null
    } cases[] = {
        {"ab", true, "ab"},
        {"a&&b", true, "a&b"},
        {"a&b", false, "a&b"},
    };
    for (const auto& c : cases) {
        label_->SetShowAccelChar(c.showAccel);
        label_->SetCaption(c.caption);
        const QImage withCaption = Render(*label_);
        label_->SetShowAccelChar(false);
        label_->SetCaption(c.same);
        EXPECT_EQ(withCaption, Render(*label_)) << c.caption;
    }
    // "a&b" with the flag on: the same letters as "ab", plus an underline below the b.
    label_->SetShowAccelChar(false);
    label_->SetCaption("ab");
    const QImage plain = Render(*label_);
    label_->SetShowAccelChar(true);
    label_->SetCaption("a&b");
    const QImage underlined = Render(*label_);
    const QFontMetrics metrics(Control::ToQFont(label_->Font()));
    const int under = metrics.ascent() + 1;
    const int aWidth = metrics.horizontalAdvance('a');
    const QRect belowA(0, under, aWidth - 1, metrics.descent());
    const QRect belowB(aWidth, under, metrics.horizontalAdvance('b') - 1, metrics.descent());
    EXPECT_EQ(CountColor(plain, belowB, Qt::black), 0);
    EXPECT_GT(CountColor(underlined, belowB, Qt::black), 0) << "the b is underlined";
    EXPECT_EQ(CountColor(underlined, belowA, Qt::black), 0) << "the a is not";
}

TEST_F(Label, BackgroundFollowsTransparentAndParentColor) {
    label_->SetCaption("");
    EXPECT_TRUE(label_->ParentColor());
    EXPECT_EQ(QColor(Render(*label_).pixel(5, 5)), QColor(Qt::white)) << "the page's colour";
    label_->SetColor(clBlue);
    EXPECT_FALSE(label_->ParentColor()) << "assigning a colour ends ParentColor";
    EXPECT_EQ(QColor(Render(*label_).pixel(5, 5)), QColor(Qt::blue));
    label_->SetTransparent(true);
    EXPECT_EQ(QColor(Render(*label_).pixel(5, 5)), QColor(Qt::green)) << "the page shows through";
}

TEST_F(Label, AlignmentAndLayoutPlaceTheText) {
    label_->SetCaption("I");
    auto inkBox = [&] {
        const QImage image = Render(*label_);
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
        return box;
    };
    const QRect topLeft = inkBox();
    label_->SetAlignment(taRightJustify);
    label_->SetLayout(tlBottom);
    const QRect bottomRight = inkBox();
    EXPECT_LT(topLeft.left(), 10);
    EXPECT_GT(bottomRight.right(), 110);
    EXPECT_GT(bottomRight.top(), topLeft.top());
    label_->SetAlignment(taCenter);
    label_->SetLayout(tlCenter);
    const QRect centred = inkBox();
    EXPECT_NEAR(centred.center().x(), 60, 3);
}

TEST_F(Label, AutoSizeTakesTheTextsSize) {
    label_->SetCaption("a rather long caption");
    label_->SetAutoSize(true);
    const QFontMetrics metrics(Control::ToQFont(label_->Font()));
    EXPECT_GE(label_->Width(), metrics.horizontalAdvance("a rather long caption") - 1);
    EXPECT_EQ(label_->Height(), metrics.height());
}

TEST(LabelText, ChineseCaptionDrawsGlyphsNotBoxes) {
    Host host;
    auto* label = new Tzorledlabel(&host, &host);
    label->SetAutoSize(false);
    label->SetBounds(0, 0, 80, 24);
    label->Font().SetName(Utf8ToGbk("宋体"));
    label->Font().SetHeight(-16);
    label->Font().SetColor(clBlack);
    const QFont font = Control::ToQFont(label->Font());
    EXPECT_TRUE(QFontMetrics(font).inFont(QChar(0x6807))) << QFontInfo(font).family().toStdString();
    label->SetCaption(Utf8ToGbk("标签"));
    const QImage a = Render(*label);
    label->SetCaption(Utf8ToGbk("显示"));
    EXPECT_NE(a, Render(*label)) << "different characters draw differently";
}

TEST(LabelText, AnAcceleratorKeepsTheCaptionsTypeface) {
    // "& " drops the "&" and underlines the space after it: apart from that underline, the
    // caption draws exactly as the one written without accelerator, in the same face.
    struct Case {
        const char* family;
        int style;
    } cases[] = {{"宋体", 1}, {"黑体", 0}, {"MS Sans Serif", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        Host host;
        auto* label = new Tzorledlabel(&host, &host);
        label->SetAutoSize(false);
        label->SetBounds(0, 0, 200, 40);
        label->Font().SetName(Utf8ToGbk(c.family));
        label->Font().SetHeight(-24);
        label->Font().SetStyle(c.style);
        label->Font().SetColor(clBlack);
        label->SetCaption(Utf8ToGbk("今日 & 安排"));
        const QImage accelerated = Render(*label);
        label->SetShowAccelChar(false);
        label->SetCaption(Utf8ToGbk("今日  安排"));
        const QImage plain = Render(*label);
        const QFontMetrics metrics(Control::ToQFont(label->Font()));
        const int spaceStart = metrics.horizontalAdvance(QString::fromUtf8("今日 "));
        const int spaceEnd = metrics.horizontalAdvance(QString::fromUtf8("今日  "));
        int differing = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if ((x < spaceStart || x >= spaceEnd) && accelerated.pixel(x, y) != plain.pixel(x, y)) ++differing;
        EXPECT_EQ(differing, 0);
        EXPECT_NE(accelerated, plain) << "the space is underlined";
    }
}

class Picture : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("zorled-picture-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path Write(const std::string& name, const std::string& bytes) {
        WriteFileAtomic(dir_ / name, bytes);
        return dir_ / name;
    }
    static std::string Encoded(const QImage& image, const char* format) {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return data.toStdString();
    }
    std::filesystem::path dir_;
};

TEST_F(Picture, EveryKindKeepsItsBytesThroughTheStoredForm) {
    QImage image(8, 4, QImage::Format_RGB888);
    image.fill(QColor(10, 200, 30));
    const std::string metafile = "\xD7\xCD\xC6\x9A" + std::string(40, '\x01');
    struct Case {
        const char* file;
        std::string bytes;
        const char* className;
        std::string header;  // the stored form before the file bytes
    } cases[] = {
        {"a.bmp", Encoded(image, "BMP"), "TBitmap", ""},
        {"a.JPG", EncodeJpeg(image), "TJPEGImage", ""},
        {"a.ico", Encoded(image, "ICO"), "TIcon", ""},
        {"a.wmf", metafile, "TMetafile", ""},
    };
    for (auto& c : cases) {
        TPicture picture;
        picture.LoadFromFile(Write(c.file, c.bytes));
        EXPECT_EQ(picture.GraphicClassName(), c.className);
        const std::string data = picture.Data();
        const std::string name = c.className;
        ASSERT_EQ(data.substr(0, 1 + name.size()), std::string(1, char(name.size())) + name);
        std::uint32_t count = 0;
        for (int i = 0; i < 4; ++i) count |= std::uint32_t(static_cast<unsigned char>(data[1 + name.size() + i])) << (8 * i);
        if (name == "TIcon") {
            EXPECT_EQ(data.substr(1 + name.size()), c.bytes) << "an icon is stored without a count";
        } else {
            EXPECT_EQ(count, c.bytes.size() + (name == "TMetafile" ? 4 : 0)) << c.file;
            EXPECT_EQ(data.substr(5 + name.size()), c.bytes) << c.file;
        }
        TPicture back;
        back.SetData(data);
        EXPECT_EQ(back.Data(), data) << c.file << ": stored again unchanged";
        EXPECT_EQ(back.Bytes(), c.bytes);
        if (name != "TMetafile") EXPECT_EQ(back.Image().size(), QSize(8, 4)) << c.file;
    }
}

TEST_F(Picture, FailuresKeepThePreviousPicture) {
    QImage image(2, 2, QImage::Format_RGB888);
    image.fill(Qt::red);
    TPicture picture;
    picture.LoadFromFile(Write("ok.bmp", Encoded(image, "BMP")));
    const std::string before = picture.Data();
    struct Case {
        const char* file;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"x.gif", "GIF89a", "Unknown picture file extension (.gif)"},
        {"noext", "", "Unknown picture file extension (.)"},
        {"bad.jpg", "not a jpeg at all", "JPEG error #"},
    };
    for (const auto& c : cases) {
        try {
            picture.LoadFromFile(Write(c.file, c.bytes));
            ADD_FAILURE() << c.file << " loaded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        }
        EXPECT_EQ(picture.Data(), before);
    }
}

TEST(JpegDecoder, RejectsTruncatedDataWithItsCode) {
    QImage image(16, 16, QImage::Format_RGB888);
    image.fill(Qt::blue);
    const std::string jpeg = EncodeJpeg(image);
    EXPECT_EQ(DecodeJpeg(jpeg).size(), QSize(16, 16));
    try {
        DecodeJpeg(jpeg.substr(0, 2));
        FAIL();
    } catch (const Error& e) {
        EXPECT_STRNE(e.what(), "JPEG error #0");
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u);
    }
}

// A progressive JPEG whose last scan is repeated, as a hostile file does to make decoding
// take minutes.
std::string ManyScanJpeg(int repeats) {
    QImage image(64, 64, QImage::Format_RGB888);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    EXPECT_TRUE(writer.write(image));
    std::string jpeg = buffer.data().toStdString();
    const size_t lastScan = jpeg.rfind("\xFF\xDA");
    const size_t end = jpeg.rfind("\xFF\xD9");
    EXPECT_NE(lastScan, std::string::npos);
    const std::string scan = jpeg.substr(lastScan, end - lastScan);
    std::string repeated;
    for (int i = 0; i < repeats; ++i) repeated += scan;
    jpeg.insert(end, repeated);
    return jpeg;
}

TEST(JpegDecoder, RefusesAPictureOfMoreScansThanAnyEncoderWrites) {
    EXPECT_EQ(DecodeJpeg(ManyScanJpeg(20)).size(), QSize(64, 64)) << "a few repeats still decode";
    try {
        DecodeJpeg(ManyScanJpeg(5000));
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "JPEG picture has more than 100 scans (scan 101 reached): refused");
    }
}

class Image : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = new Tzorledimage(&host_, &host_);
        image_->SetBounds(0, 0, 40, 20);
        QImage picture(10, 6, QImage::Format_RGB888);
        picture.fill(Qt::yellow);
        picture.setPixel(0, 5, qRgb(255, 0, 255));  // bottom-left: the transparent colour
        picture.setPixel(9, 0, qRgb(255, 0, 255));
        picture.setPixel(9, 5, qRgb(0, 0, 0));
        image_->Picture().SetBitmap(picture);
    }
    Host host_;
    Tzorledimage* image_;
};

TEST_F(Image, PlacesThePictureByCenterStretchAndProportional) {
    struct Case {
        bool center, stretch, proportional;
        QRect dest;
    } cases[] = {
        {false, false, false, QRect(0, 0, 10, 6)},
        {true, false, false, QRect(15, 7, 10, 6)},
        {false, true, false, QRect(0, 0, 40, 20)},
        {false, true, true, QRect(0, 0, 33, 20)},
        {true, true, true, QRect(3, 0, 33, 20)},
    };
    for (const auto& c : cases) {
        image_->SetCenter(c.center);
        image_->SetStretch(c.stretch);
        image_->SetProportional(c.proportional);
        EXPECT_EQ(image_->DestRect(), c.dest) << c.center << c.stretch << c.proportional;
    }
}

TEST_F(Image, LargerPictureShowsItsTopLeftPart) {
    QImage big(100, 100, QImage::Format_RGB888);
    big.fill(Qt::blue);
    big.setPixel(0, 0, qRgb(255, 0, 0));
    image_->Picture().SetBitmap(big);
    const QImage shown = Render(*image_);
    EXPECT_EQ(QColor(shown.pixel(0, 0)), QColor(Qt::red));
    EXPECT_EQ(QColor(shown.pixel(39, 19)), QColor(Qt::blue));
}

TEST_F(Image, StretchedPixelArtStaysSharp) {
    QImage halves(8, 4, QImage::Format_RGB888);
    halves.fill(Qt::red);
    for (int y = 0; y < 4; ++y)
        for (int x = 4; x < 8; ++x) halves.setPixel(x, y, qRgb(0, 0, 255));
    image_->Picture().SetBitmap(halves);
    image_->SetBounds(0, 0, 64, 32);
    image_->SetStretch(true);
    const QImage shown = Render(*image_);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(QColor(shown.pixel(x, y)), x < 32 ? QColor(Qt::red) : QColor(Qt::blue)) << x << "," << y;
}

TEST_F(Image, TransparentBitmapCutsOutItsBottomLeftColour) {
    EXPECT_EQ(QColor(Render(*image_).pixel(9, 0)), QColor(255, 0, 255));
    image_->SetTransparent(true);
    const QImage shown = Render(*image_);
    EXPECT_EQ(QColor(shown.pixel(9, 0)), QColor(Qt::green)) << "the page shows through";
    EXPECT_EQ(QColor(shown.pixel(0, 5)), QColor(Qt::green));
    EXPECT_EQ(QColor(shown.pixel(9, 5)), QColor(Qt::black));
    EXPECT_EQ(QColor(shown.pixel(3, 3)), QColor(Qt::yellow));
}

}  // namespace
}  // namespace zl
