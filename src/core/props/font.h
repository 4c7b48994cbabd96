#pragma once
#include <functional>
#include <string>

#include "core/props/color.h"
#include "core/props/propinfo.h"

namespace zl {

constexpr int DEFAULT_CHARSET = 1;
constexpr int GB2312_CHARSET = 134;

// MulDiv as the framework rounds it: half away from zero.
int MulDiv(int number, int numerator, int denominator);

// Pixel sizes are held to -kFontHeightLimit..kFontHeightLimit wherever a stored Height becomes a
// size to draw with, so values from page files never overflow the arithmetic behind them.
constexpr int kFontHeightLimit = 4096;

// The framework's font as page files store it; Height < 0 is the pixel size.
class TFont : public Persistent {
public:
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    int Charset() const { return charset_; }
    TColor Color() const { return color_; }
    int Height() const { return height_; }
    const std::string& Name() const { return name_; }  // GBK
    int Pitch() const { return pitch_; }
    int Size() const;  // points at 96 pixels per inch
    std::int64_t Style() const { return style_; }

    void SetCharset(int v);
    void SetColor(TColor v);
    void SetHeight(int v);
    void SetName(const std::string& v);
    void SetPitch(int v);
    void SetSize(int points);
    void SetStyle(std::int64_t v);

    // Copies every value; notifies once when anything changed.
    void Assign(const TFont& other);
    bool operator==(const TFont& other) const;

    // Called after every real change (the owner clears ParentFont, repaints).
    std::function<void()> OnChange;

private:
    void Changed();

    int charset_ = DEFAULT_CHARSET;
    TColor color_ = clWindowText;
    int height_ = -11;
    std::string name_ = "MS Sans Serif";
    int pitch_ = 0;
    std::int64_t style_ = 0;
};

// Size limits of a control; all zero means none, and nothing is written.
class TSizeConstraints : public Persistent {
public:
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
    int MaxHeight = 0, MaxWidth = 0, MinHeight = 0, MinWidth = 0;
};

// A string list property: its lines are stored under "<name>.Strings" when it has any.
class TStringsHolder : public Persistent {
public:
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    const StringList& Lines() const { return lines_; }
    void SetLines(const StringList& lines);
    std::function<void()> OnChange;

private:
    StringList lines_;
};

}  // namespace zl
