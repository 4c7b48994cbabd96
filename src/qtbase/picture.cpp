#include "qtbase/picture.h"

#include <QBuffer>
#include <QImageReader>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/props/declare.h"
#include "qtbase/jpeg.h"

namespace zl {
namespace {

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(const std::string& in, size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return v;
}

QImage DecodeWithQt(const std::string& bytes, const char* format) {
    // Told the format, Qt still loads every image plug-in to ask whether it reads it before its
    // own handler gets a turn: the named format's handler reads first, and only what it cannot
    // read goes through that search.
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    if (image.isNull())
        image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), format);
    return image;
}

std::string LowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return ext;
}

}  // namespace

std::string TPicture::GraphicClassName() const {
    switch (kind_) {
        case Kind::Bitmap: return "TBitmap";
        case Kind::Jpeg: return "TJPEGImage";
        case Kind::Icon: return "TIcon";
        case Kind::Metafile: return "TMetafile";
        case Kind::Other: return otherClass_;
        case Kind::None: break;
    }
    return {};
}

std::string TPicture::Data() const {
    if (kind_ == Kind::None) return {};
    // The name is one length byte and up to 255 bytes; all of it goes back.
    const std::string name = GraphicClassName();
    std::string out;
    out += static_cast<char>(name.size());
    out += name;
    switch (kind_) {
        case Kind::Bitmap:
        case Kind::Jpeg:
            PutU32(out, static_cast<std::uint32_t>(bytes_.size()));
            out += bytes_;
            break;
        case Kind::Metafile:
            PutU32(out, static_cast<std::uint32_t>(bytes_.size() + 4));
            out += bytes_;
            break;
        default:
            out += bytes_;
            break;
    }
    return out;
}

void TPicture::SetData(const std::string& data) {
    if (data.empty()) {
        Clear();
        return;
    }
    const size_t nameLength = static_cast<unsigned char>(data[0]);
    if (1 + nameLength > data.size()) throw Error("Invalid picture data");
    const std::string name = data.substr(1, nameLength);
    const size_t at = 1 + nameLength;
    auto counted = [&](bool countIncludesItself) {
        if (at + 4 > data.size()) throw Error("Invalid picture data");
        std::uint32_t count = GetU32(data, at);
        if (countIncludesItself) count = count >= 4 ? count - 4 : 0;
        if (at + 4 + count > data.size()) throw Error("Invalid picture data");
        return data.substr(at + 4, count);
    };
    if (name == "TBitmap") {
        std::string bytes = counted(false);
        QImage image = DecodeWithQt(bytes, "BMP");
        Set(Kind::Bitmap, std::move(bytes), std::move(image));
    } else if (name == "TJPEGImage") {
        std::string bytes = counted(false);
        QImage image = DecodeJpeg(bytes);
        Set(Kind::Jpeg, std::move(bytes), std::move(image));
    } else if (name == "TMetafile") {
        Set(Kind::Metafile, counted(true), QImage());
    } else if (name == "TIcon") {
        std::string bytes = data.substr(at);
        QImage image = DecodeWithQt(bytes, "ICO");
        Set(Kind::Icon, std::move(bytes), std::move(image));
    } else {
        // A graphic class we cannot draw still goes back into the file unchanged.
        Set(Kind::Other, data.substr(at), QImage(), name);
    }
}

void TPicture::LoadFromFile(const std::filesystem::path& path) {
    const std::string ext = LowerExtension(path);
    Kind kind;
    if (ext == "bmp") kind = Kind::Bitmap;
    else if (ext == "jpg" || ext == "jpeg") kind = Kind::Jpeg;
    else if (ext == "ico") kind = Kind::Icon;
    else if (ext == "wmf" || ext == "emf") kind = Kind::Metafile;
    else throw Error(Format("Unknown picture file extension (.%s)", ext.c_str()));
    std::string bytes = ReadWholeFile(path);
    QImage image;
    switch (kind) {
        case Kind::Bitmap:
            image = DecodeWithQt(bytes, "BMP");
            if (image.isNull()) throw Error("Bitmap image is not valid");
            break;
        case Kind::Jpeg: image = DecodeJpeg(bytes); break;
        case Kind::Icon:
            image = DecodeWithQt(bytes, "ICO");
            if (image.isNull()) throw Error("Icon image is not valid");
            break;
        default: break;
    }
    Set(kind, std::move(bytes), std::move(image));
}

void TPicture::SetBitmap(const QImage& image) {
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
    Set(Kind::Bitmap, std::string(bmp.constData(), static_cast<size_t>(bmp.size())), image);
}

void TPicture::Clear() { Set(Kind::None, {}, QImage()); }

void TPicture::Set(Kind kind, std::string bytes, QImage image, std::string otherClass) {
    kind_ = kind;
    bytes_ = std::move(bytes);
    image_ = std::move(image);
    otherClass_ = std::move(otherClass);
    if (OnChange) OnChange();
}

const ClassInfo& TPicture::StaticClass() {
    using namespace decl;
    using T = TPicture;
    static const PropInfo extras[] = {
        With(Access<T, &T::Data, &T::SetData>("Data", PropKind::Binary),
             [](const Persistent& p) { return static_cast<const T&>(p).HasGraphic(); }),
    };
    static const ClassInfo info{"TPicture", nullptr, {}, extras};
    return info;
}

}  // namespace zl
