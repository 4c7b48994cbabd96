#pragma once
#include <QWidget>

#include "qtbase/control.h"
#include "qtbase/picture.h"

namespace zl {

// One picture, at the top left, centred, stretched or scaled in proportion; optionally transparent.
class Tzorledimage : public QWidget, public Control {
    Q_OBJECT
public:
    explicit Tzorledimage(Component* owner, QWidget* parent = nullptr);
    static const ClassInfo& StaticClass();
    const ClassInfo& Class() const override { return StaticClass(); }

    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);
    bool Center() const { return center_; }
    void SetCenter(bool v);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v);
    bool Proportional() const { return proportional_; }
    void SetProportional(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool IncrementalDisplay = false;

    // Where the picture lands inside the widget, by Center, Stretch and Proportional.
    QRect DestRect() const;
    void Loaded() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PictureChanged();

    TPicture picture_;
    QImage drawn_;  // the picture with its transparent colour cut out, when Transparent
    bool autoSize_ = false;
    bool center_ = false;
    bool stretch_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
};

extern void (*EditImage)(Tzorledimage& image);

}  // namespace zl
