#pragma once
#include <QImage>
#include <filesystem>
#include <functional>
#include <string>

#include "core/props/propinfo.h"

namespace zl {

// A picture keeps its original bytes, so it is stored again unchanged; the decoded image is
// only for drawing (metafiles are kept but not drawn).
class TPicture : public Persistent {
public:
    enum class Kind { None, Bitmap, Jpeg, Icon, Metafile, Other };

    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    Kind GraphicKind() const { return kind_; }
    bool HasGraphic() const { return kind_ != Kind::None; }
    const std::string& Bytes() const { return bytes_; }
    const QImage& Image() const { return image_; }
    // The graphic's class name as stored ("TBitmap", "TJPEGImage", "TIcon", "TMetafile").
    std::string GraphicClassName() const;

    // The stored form: a length byte, the class name, then the kind's own payload.
    std::string Data() const;
    void SetData(const std::string& data);

    // Chooses the kind by extension; fails with "Unknown picture file extension (.%s)" and
    // keeps the previous picture on any failure.
    void LoadFromFile(const std::filesystem::path& path);
    void SetBitmap(const QImage& image);
    void Clear();

    std::function<void()> OnChange;

private:
    void Set(Kind kind, std::string bytes, QImage image, std::string otherClass = {});

    Kind kind_ = Kind::None;
    std::string bytes_;
    QImage image_;
    std::string otherClass_;
};

}  // namespace zl
