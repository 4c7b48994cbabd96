#pragma once
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "aatext/canvas.h"
#include "aatext/effects.h"
#include "aatext/smoothfontex.h"
#include "core/textlist.h"
#include "qtbase/picture.h"
#include "qtbase/control.h"

namespace zl {

class EDuplicateString : public Error {
public:
    EDuplicateString() : Error("Duplicate string!") {}
};

enum TLabelStyle { lsLeftJustify, lsCenter, lsRightJustify, lsRegOwner, lsRegOrganization, lsAppTitle,
                   lsDate, lsTime, lsCustom };
enum TLabelEffect { leOnlyALine, leUntilNextLabel };
enum TBackGroundMode { bmTiled, bmStretched, bmCenter, bmNormal };

extern const NameTable kLabelStyleNames;
extern const NameTable kLabelEffectNames;
extern const NameTable kBackGroundModeNames;

// The common part of both label collections: items kept in order, names unique without regard
// to case, one change handler for every change of the collection or of an item.
template <class L>
class TLabelCollection : public Collection {
public:
    std::function<void()> OnChange;

    int Count() const override { return static_cast<int>(items_.size()); }
    L& operator[](int index) { return *items_[index]; }
    const L& operator[](int index) const { return *items_[index]; }
    Persistent& Item(int index) override { return *items_[index]; }
    Persistent& Add() override { return Append(); }
    void Clear() override {
        if (items_.empty()) return;
        items_.clear();
        Changed();
    }
    void Delete(int index) {
        items_.erase(items_.begin() + index);
        Changed();
    }
    // The first label named so, case-insensitively, or -1.
    int IndexOf(std::string_view name) const {
        for (int i = 0; i < Count(); ++i)
            if (EqualsIgnoreCase(items_[i]->Name(), name)) return i;
        return -1;
    }
    void Changed() {
        if (mute_ == 0 && OnChange) OnChange();
    }

protected:
    L& Append() {
        items_.push_back(std::make_unique<L>(this));
        Changed();
        return *items_.back();
    }
    // A new item is set up quietly and told once.
    L& AddQuietly(const std::function<void(L&)>& setUp) {
        ++mute_;
        items_.push_back(std::make_unique<L>(this));
        try {
            setUp(*items_.back());
        } catch (...) {
            items_.pop_back();
            --mute_;
            throw;
        }
        --mute_;
        Changed();
        return *items_.back();
    }
    std::vector<std::unique_ptr<L>> items_;
    int mute_ = 0;
};

class TFontLabels;
class TUserLabels;

// A named font and effect; the tag <Name> restyles the text after it.
class TFontLabel : public Persistent {
public:
    explicit TFontLabel(TLabelCollection<TFontLabel>* collection);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    const std::string& Name() const { return name_; }
    // Fails with "Duplicate string!" when another label of the collection bears the name.
    void SetName(const std::string& name);
    TFont& Font() { return font_; }
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font) { font_.Assign(font); }
    TSmoothEffect& Effect() { return effect_; }
    const TSmoothEffect& Effect() const { return effect_; }
    void SetEffect(const TSmoothEffect& effect);
    void Assign(const TFontLabel& source);

private:
    TLabelCollection<TFontLabel>* collection_;
    std::string name_;
    TFont font_;
    TSmoothEffect effect_;
};

// A named text (owner, date, time, a custom text) or an alignment switch.
class TUserLabel : public Persistent {
public:
    using GetTextEvent = std::function<void(TUserLabel& sender, std::string& text)>;

    explicit TUserLabel(TLabelCollection<TUserLabel>* collection);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    // The label's current text: what its style stands for, then OnGetText.
    std::string Text() const;
    // Taken only while the style is lsCustom.
    void SetText(const std::string& text);
    const std::string& StoredText() const { return text_; }
    int Style() const { return style_; }
    void SetStyle(int style);
    bool IsAlignment() const { return style_ <= lsRightJustify; }
    void Assign(const TUserLabel& source);

    GetTextEvent OnGetText;

private:
    TLabelCollection<TUserLabel>* collection_;
    std::string name_;
    std::string text_;
    int style_ = lsCustom;
};

class TFontLabels : public TLabelCollection<TFontLabel> {
public:
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    // Appends a label unless the name is taken (then returns null and changes nothing).
    TFontLabel* AddItem(const std::string& name, const std::string& fontName, int size, TColor color,
                        std::int64_t style, bool shadow, int offsetX, int offsetY);
    void Assign(const TFontLabels& source);
    // Handles the first tag of each label in the line: the tag goes, its font and effect are
    // copied into those given (either may be null); a later label wins.
    void ApplyTo(std::string& line, TFont* font, TSmoothEffect* effect) const;
};

class TUserLabels : public TLabelCollection<TUserLabel> {
public:
    TUserLabels();
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    TUserLabel* AddItem(const std::string& name, const std::string& text, int style);
    void Assign(const TUserLabels& source);
    // Replaces the first tag of each label: text labels insert their text (later labels see
    // it), alignment labels set `alignment`. Tags of no label stay as text.
    void ApplyTo(std::string& line, int& alignment) const;

    const std::string& RegisteredOwner() const { return owner_; }
    const std::string& RegisteredOrganization() const { return organization_; }

private:
    std::string owner_;
    std::string organization_;
};

// The name of the user logged on to this process (GBK), or empty.
std::string LogonUserName();

// Breaks a line for at most `maxCol` columns: single-byte text after break characters, outside
// quotes; double-byte characters between characters. Positions are bytes.
std::string WrapText(std::string_view line, std::string_view breakStr, std::string_view breakChars, int maxCol);
// The lines of a text as a string list takes them: split at CR LF, CR or LF; a zero byte ends it.
StringList SplitLines(std::string_view text);
// WrapText with CR LF and the usual break characters, one list entry per line.
StringList WrapLines(std::string_view line, int maxCol);

// Fills `rect` with the canvas brush and covers it with the graphic in the mode. `origin` is
// where the canvas's top-left pixel lies within the whole drawing, so a band drawn alone
// matches the same band of the whole.
void DrawBackground(TCanvas& canvas, const QRect& rect, int mode, const QImage& graphic, QPoint origin = {});

// A windowless smooth control: its look is rebuilt only when it counts as loaded, auto-updating
// and not locked, and painting waits until it is loaded.
class TSmoothGraphicControl : public QWidget, public Control {
    Q_OBJECT
public:
    explicit TSmoothGraphicControl(Component* owner, QWidget* parent = nullptr);
    ~TSmoothGraphicControl() override;

    TSmoothFontEx& Renderer() { return *renderer_; }
    TCanvas& RendererCanvas() { return canvas_; }

    bool AutoUpdate() const { return autoUpdate_; }
    virtual void SetAutoUpdate(bool v);
    bool IsLoaded() const { return loaded_; }
    bool IsDestroying() const { return destroying_; }
    bool IsUpdating() const { return updateLock_ > 0; }

    // Rebuilds through Reset when nothing holds it back.
    void Changed() override;
    void Loaded() override;
    // The paint gate: the first paint marks the control loaded; Draw never re-enters.
    void Paint();
    void SetBounds(int left, int top, int width, int height) override;

    std::function<void()> OnMouseEnter, OnMouseLeave;

protected:
    virtual void Draw() {}
    virtual void Prepare() { Changed(); }
    virtual void Reset() { update(); }
    void Resize();

    void BeginUpdateLock() { ++updateLock_; }
    void EndUpdateLock() { if (updateLock_ > 0) --updateLock_; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // What the widget shows; Draw fills it.
    virtual void Present(QPainter& painter) {}

    bool destroying_ = false;

private:
    TCanvas canvas_;
    std::unique_ptr<TSmoothFontEx> renderer_;
    bool autoUpdate_ = true;
    int updateLock_ = 0;
    bool loaded_ = false;
    bool painting_ = false;
    int lastWidth_ = 0, lastHeight_ = 0;
};

// Tagged text: the font and user label collections and the default sets.
class TSmoothCustomText : public TSmoothGraphicControl {
    Q_OBJECT
public:
    explicit TSmoothCustomText(Component* owner, QWidget* parent = nullptr);

    TFontLabels& Fonts() { return fonts_; }
    TUserLabels& Labels() { return labels_; }
    void SetFonts(const TFontLabels& fonts) { fonts_.Assign(fonts); }
    void SetLabels(const TUserLabels& labels) { labels_.Assign(labels); }

    void BeginUpdate() { BeginUpdateLock(); }
    void EndUpdate() { EndUpdateLock(); }

    // The host never designs; tests and callers may switch it on.
    bool Designing = false;

    virtual void CreateDefaultFonts();
    virtual void CreateDefaultLabels();
    virtual bool UseDefaultLabels() const { return true; }

protected:
    void Prepare() override;

private:
    TFontLabels fonts_;
    TUserLabels labels_;
    bool defaultFontsCreated_ = false;
    bool defaultLabelsCreated_ = false;
};

}  // namespace zl
