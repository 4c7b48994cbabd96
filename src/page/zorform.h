#pragma once
#include <QWidget>
#include <filesystem>
#include <map>
#include <string>

#include "qtbase/control.h"

namespace zl {

// The page window's frame model: client origin (3, 23) inside the window.
constexpr int kFrameLeft = 3;
constexpr int kFrameTop = 23;
constexpr int kFrameWidth = 6;    // ClientWidth = Width - 6
constexpr int kFrameHeight = 26;  // ClientHeight = Height - 26

// A stay-on-top form with one page property, displaytime.
class TZorForm : public QWidget, public Control {
    Q_OBJECT
public:
    explicit TZorForm(Component* owner = nullptr);
    ~TZorForm() override;
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    int Left() const override { return left_; }
    int Top() const override { return top_; }
    int Width() const override { return width() + kFrameWidth; }
    int Height() const override { return height() + kFrameHeight; }
    void SetBounds(int left, int top, int width, int height) override;
    int ClientWidth() const { return width(); }
    int ClientHeight() const { return height(); }
    void SetClientWidth(int v);
    void SetClientHeight(int v);
    // Where the client area's top-left lands on the screen: (Left + 3, Top + 23).
    QPoint ClientPlace() const;

    bool Visible() const override { return visible_; }
    void SetVisible(bool v) override;
    void SetCaption(const std::string& v) override;

    int BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int v);
    int FormStyle() const { return formStyle_; }
    void SetFormStyle(int v);

    // The file the page was read from or saved to; empty for a page never saved.
    std::filesystem::path File;
    QString PageName() const override;

    int displaytime = 0;
    bool OldCreateOrder = false;
    bool AutoScroll = false;
    bool AutoSize = false;
    bool AlphaBlend = false;
    int AlphaBlendValue = 255;
    std::int64_t BorderIcons = Bit(biSystemMenu) | Bit(biMinimize) | Bit(biMaximize);
    int BorderWidth = 0;
    bool KeyPreview = false;
    int Position = poDesigned;
    int PrintScale = poProportional;
    bool Scaled = true;
    int WindowState = wsNormal;
    int DefaultMonitor = dmActiveForm;
    bool DockSite = false;
    bool UseDockManager = false;
    std::string HelpFile;
    int PixelsPerInch = 96;
    int TextHeight = 13;

    // Handler names of the page class that page text may bind events to.
    virtual const std::vector<std::string>& PublishedHandlers() const;

protected:
    // Around a move of the window by the operator (through the window manager), which changes
    // Left and Top.
    virtual void OperatorMoving() {}
    virtual void OperatorMoved() {}
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void ApplyWindowFlags();
    void CheckPlace();

    int left_ = 194;
    int top_ = 159;
    int borderStyle_ = bsSizeable;
    int formStyle_ = fsStayOnTop;
    bool visible_ = false;
    bool placeChecked_ = false;
    bool settling_ = false;
};

// Adds nothing; generated unit sources name it as the page class's base.
class TZorLedForm : public TZorForm {
    Q_OBJECT
public:
    explicit TZorLedForm(Component* owner = nullptr);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }
};

// True when a top-level window bears the name (page roots are made unique among them).
bool TopLevelNameExists(const std::string& name);

}  // namespace zl
