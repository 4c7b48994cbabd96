#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "page/frmzorledform.h"
#include "page/pageclipboard.h"
#include "page/pagefile.h"
#include "widgets/paint.h"
#include "widgets/zorledclock.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"

namespace zl {
namespace {

// Real mouse events as the window system hands them out: the press goes to the child under the
// point, and the widget pressed keeps every move and the release until the last button is up.
// Points are in the page's client coordinates.
class Mouse {
public:
    explicit Mouse(QWidget* page) : page_(page) {}

    void Press(QPoint p, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton) {
        held_ |= button;
        if (!grabber_) grabber_ = Under(p);
        Send(grabber_, QEvent::MouseButtonPress, p, button, keys);
    }
    void Move(QPoint p, Qt::KeyboardModifiers keys = {}) {
        Send(grabber_ ? grabber_.data() : Under(p), QEvent::MouseMove, p, Qt::NoButton, keys);
    }
    void Release(QPoint p, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton) {
        held_ &= ~button;
        QWidget* target = grabber_ ? grabber_.data() : Under(p);
        if (!held_) grabber_ = nullptr;
        Send(target, QEvent::MouseButtonRelease, p, button, keys);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers keys = {}) {
        Press(from, keys);
        Move((from + to) / 2, keys);
        Move(to, keys);
        Release(to, keys);
    }
    // What a double-click delivers: press, release, the double-click press, release.
    void DoubleClick(QPoint p) {
        Press(p);
        Release(p);
        held_ |= Qt::LeftButton;
        grabber_ = Under(p);
        Send(grabber_, QEvent::MouseButtonDblClick, p, Qt::LeftButton, {});
        Release(p);
    }

private:
    QWidget* Under(QPoint p) const {
        QWidget* w = page_->childAt(p);
        return w ? w : page_;
    }
    void Send(QWidget* target, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers keys) {
        QMouseEvent event(type, target->mapFrom(page_, QPointF(p)), page_->mapToGlobal(QPointF(p)), button, held_, keys);
        QApplication::sendEvent(target, &event);
    }

    QWidget* page_;
    QPointer<QWidget> grabber_;
    Qt::MouseButtons held_;
};

QRect Bounds(const Control* c) { return {c->Left(), c->Top(), c->Width(), c->Height()}; }
QPoint Centre(const Control* c) { return Bounds(c).center(); }

class Designer : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterPageClasses();
        ResetWidgetCounters();
        page.reset(new TFrmZorLedForm(nullptr));
        page->SetName("DesignerPage");
        page->SetVisible(true);
        a = Place(wkLabel, 20, 20, 100, 20);
        b = Place(wkLabel, 200, 20, 100, 20);
        c = Place(wkImage, 20, 100, 100, 20);
    }

    Control* Place(int kind, int left, int top, int width, int height) {
        Control* w = page->CreateWidget(kind);
        w->SetBounds(left, top, width, height);
        return w;
    }

    std::vector<Control*> Selected() const {
        std::vector<Control*> out;
        for (const auto& item : page->Selection->Items) out.push_back(item.Control);
        return out;
    }
    const TGrip& Grip(int item, int number) const { return page->Selection->Items[item].Grips[number]; }
    QRect GripRect(int item, int number) const {
        return page->Selection->DrawnRect(page->Selection->Items[item], Grip(item, number));
    }
    int VisibleGrips() const {
        int n = 0;
        for (const auto& item : page->Selection->Items)
            for (const auto& g : item.Grips) n += g.Shown;
        return n;
    }
    // The page point at the middle of a grip.
    QPoint GripCentre(int item, int number) const { return GripRect(item, number).center(); }
    // The grip the page's mouse input lands on at that point.
    std::optional<std::pair<int, int>> GripUnder(QPoint at) const { return page->Selection->GripAt(at); }

    std::unique_ptr<TFrmZorLedForm> page;
    Control *a = nullptr, *b = nullptr, *c = nullptr;
};

TEST(GripMath, HalvesGoToTheEvenNeighbour) {
    const int cases[][2] = {{20, 10}, {5, 2}, {7, 4}, {1, 0}, {3, 2}, {0, 0}, {-5, -2}, {-7, -4}};
    for (const auto& [value, half] : cases) EXPECT_EQ(HalfToEven(value), half) << value;
}

TEST(GripMath, OnlyExactStatesMatch) {
    const struct {
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers keys;
        bool twice;
        ShiftState state;
    } cases[] = {
        {Qt::LeftButton, Qt::NoModifier, false, ShiftState::Left},
        {Qt::LeftButton, Qt::ShiftModifier, false, ShiftState::ShiftLeft},
        {Qt::LeftButton, Qt::ControlModifier, false, ShiftState::CtrlLeft},
        {Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, false, ShiftState::None},
        {Qt::LeftButton, Qt::AltModifier, false, ShiftState::None},
        {Qt::LeftButton | Qt::RightButton, Qt::NoModifier, false, ShiftState::None},
        {Qt::RightButton, Qt::NoModifier, false, ShiftState::None},
        {Qt::LeftButton, Qt::NoModifier, true, ShiftState::None},
        {Qt::LeftButton, Qt::KeypadModifier, false, ShiftState::Left},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyShift(c.buttons, c.keys, c.twice), c.state) << int(c.buttons) << " " << int(c.keys);
}

TEST_F(Designer, GripsStandCentredOnEdgesAndCorners) {
    const struct {
        QRect bounds;
        QPoint grips[8];
    } cases[] = {
        {{40, 60, 100, 20}, {{37, 57}, {37, 67}, {37, 77}, {87, 57}, {87, 77}, {137, 57}, {137, 67}, {137, 77}}},
        // 5 / 2 rounds down to 2 and 7 / 2 up to 4: halves go to the even neighbour.
        {{10, 10, 5, 7}, {{7, 7}, {7, 11}, {7, 14}, {9, 7}, {9, 14}, {12, 7}, {12, 11}, {12, 14}}},
    };
    for (const auto& k : cases) {
        a->SetBounds(k.bounds.x(), k.bounds.y(), k.bounds.width(), k.bounds.height());
        page->Selection->Clear();
        page->Selection->Add(a);
        for (int n = 0; n < 8; ++n) EXPECT_EQ(!Grip(0, n).Shown, true) << "grips are created hidden";
        page->Selection->LayoutGrips(*a, 0, true);
        for (int n = 0; n < 8; ++n) {
            EXPECT_EQ(Tselectcontrolcla::GripPlacement(*a, n), k.grips[n]) << n;
            EXPECT_EQ(GripRect(0, n), QRect(k.grips[n], QSize(6, 6))) << n;
            EXPECT_FALSE(!Grip(0, n).Shown) << n;
        }
        page->Selection->LayoutGrips(*a, 0, false);
        for (int n = 0; n < 8; ++n)
            EXPECT_EQ(!Grip(0, n).Shown, n == 1 || n == 3 || n == 4 || n == 6) << "group mode shows corners only";
    }
    const Qt::CursorShape cursors[8] = {Qt::SizeFDiagCursor, Qt::SizeHorCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
                                        Qt::SizeVerCursor,   Qt::SizeBDiagCursor, Qt::SizeHorCursor, Qt::SizeFDiagCursor};
    TGripOverlay* overlay = page->Selection->Overlay();
    a->SetBounds(40, 60, 100, 20);
    page->Selection->LayoutGrips(*a, 0, true);
    for (int n = 0; n < 8; ++n) {
        // Hovering a grip shows the way it resizes.
        ASSERT_EQ(page->childAt(GripCentre(0, n)), overlay) << n;
        QMouseEvent hover(QEvent::MouseMove, QPointF(GripCentre(0, n)), page->mapToGlobal(QPointF(GripCentre(0, n))),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(overlay, &hover);
        EXPECT_EQ(overlay->cursor().shape(), cursors[n]) << n;
    }
    EXPECT_TRUE(overlay->property("zlGrip").toBool());
    EXPECT_EQ(overlay->parentWidget(), page.get());
    EXPECT_EQ(page->Selection->Item(0)->Control, a);
    EXPECT_FALSE(page->Selection->Item(1).has_value());
    EXPECT_FALSE(page->Selection->Item(-1).has_value());
}

TEST_F(Designer, ClicksSelectToggleAndClear) {
    const QColor black(Qt::black), grey(128, 128, 128);
    struct Case {
        const char* name;
        std::function<void(Mouse&)> act;
        std::vector<Control*> selected;
        int visibleGrips;
        QColor gripColor;
    };
    const std::vector<Case> cases = {
        {"left click selects one, eight black grips", [&](Mouse& m) { m.Press(Centre(a)); m.Release(Centre(a)); },
         {a}, 8, black},
        {"left click on another widget moves the selection",
         [&](Mouse& m) { m.Press(Centre(a)); m.Release(Centre(a)); m.Press(Centre(b)); m.Release(Centre(b)); },
         {b}, 8, black},
        {"Shift+left adds: four grey corner grips each",
         [&](Mouse& m) {
             m.Press(Centre(a)); m.Release(Centre(a));
             m.Press(Centre(b), Qt::ShiftModifier); m.Release(Centre(b), Qt::ShiftModifier);
         },
         {a, b}, 8, grey},
        {"Shift+left on a selected widget of two leaves the other with eight black grips",
         [&](Mouse& m) {
             m.Press(Centre(a)); m.Release(Centre(a));
             m.Press(Centre(b), Qt::ShiftModifier); m.Release(Centre(b), Qt::ShiftModifier);
             m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a), Qt::ShiftModifier);
         },
         {b}, 8, black},
        {"Shift+left on the only selected widget empties the selection",
         [&](Mouse& m) { m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a)); m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a)); },
         {}, 0, black},
        {"left on a widget of a group keeps the group",
         [&](Mouse& m) {
             m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a));
             m.Press(Centre(b), Qt::ShiftModifier); m.Release(Centre(b));
             m.Press(Centre(a)); m.Release(Centre(a));
         },
         {a, b}, 8, grey},
        {"Alt+left and Shift+Ctrl+left match no state",
         [&](Mouse& m) {
             m.Press(Centre(a)); m.Release(Centre(a));
             m.Press(Centre(b), Qt::AltModifier); m.Release(Centre(b));
             m.Press(Centre(c), Qt::ShiftModifier | Qt::ControlModifier); m.Release(Centre(c));
         },
         {a}, 8, black},
        {"left on the empty page clears",
         [&](Mouse& m) { m.Press(Centre(a)); m.Release(Centre(a)); m.Press({400, 300}); m.Release({400, 300}); },
         {}, 0, black},
        {"right click on the empty page clears without a band",
         [&](Mouse& m) {
             m.Press(Centre(a)); m.Release(Centre(a));
             m.Press({400, 300}, {}, Qt::RightButton);
             EXPECT_FALSE(page->BandActive);
             m.Move({10, 10});
             EXPECT_FALSE(page->BandCanvas->Shown().has_value());
             m.Release({10, 10}, {}, Qt::RightButton);
         },
         {}, 0, black},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        page->Selection->Clear();
        Mouse mouse(page.get());
        k.act(mouse);
        EXPECT_EQ(Selected(), k.selected);
        EXPECT_EQ(VisibleGrips(), k.visibleGrips);
        for (const auto& item : page->Selection->Items)
            for (const auto& g : item.Grips) {
                if (g.Shown) {
                    EXPECT_EQ(g.Pos, Tselectcontrolcla::GripPlacement(*item.Control, g.Number));
                }
            }
        if (!k.selected.empty()) {
            EXPECT_EQ(ToQColor(page->Selection->GripColor()), k.gripColor);
        }
        EXPECT_FALSE(page->BandActive);
    }
}

TEST_F(Designer, ShiftLeftTogglesWithoutLayingOutGripsUntilRelease) {
    Mouse m(page.get());
    m.Press(Centre(a));
    m.Release(Centre(a));
    m.Press(Centre(b), Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<Control*>{a, b}));
    EXPECT_EQ(VisibleGrips(), 8) << "a's grips still stand in single mode until the release";
    for (int n = 0; n < 8; ++n) EXPECT_TRUE(!Grip(1, n).Shown);
    m.Release(Centre(b), Qt::ShiftModifier);
    EXPECT_EQ(VisibleGrips(), 8);
    for (int item = 0; item < 2; ++item)
        for (int n : {0, 2, 5, 7}) EXPECT_FALSE(!Grip(item, n).Shown);
}

TEST_F(Designer, DraggingMovesTheWholeSelectionWithThePressPointUnderTheCursor) {
    struct Case {
        const char* name;
        bool group;
        QPoint press;
        std::vector<QPoint> path;
    };
    const std::vector<Case> cases = {
        {"one widget", false, {30, 25}, {{35, 30}, {60, 70}}},
        {"group dragged by its second widget", true, {210, 28}, {{215, 30}, {180, 90}}},
        {"far outside the widget pressed", true, {25, 25}, {{400, 300}, {600, 400}}},
        {"back up and left", false, {30, 25}, {{10, 10}, {5, 8}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        a->SetBounds(20, 20, 100, 20);
        b->SetBounds(200, 20, 100, 20);
        page->Selection->Clear();
        Mouse m(page.get());
        if (k.group) {
            m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a));
            m.Press(Centre(b), Qt::ShiftModifier); m.Release(Centre(b));
        }
        const QRect startA = Bounds(a), startB = Bounds(b);
        m.Press(k.press);
        QPoint last = k.press;
        for (QPoint p : k.path) {
            m.Move(p);
            last = p;
            EXPECT_EQ(VisibleGrips(), 0) << "grips hide while dragging";
        }
        const QPoint moved = last - k.press;
        m.Release(last);
        EXPECT_EQ(Bounds(a), startA.translated(moved));
        EXPECT_EQ(Bounds(b), k.group ? startB.translated(moved) : startB);
        EXPECT_EQ(Selected(), (k.group ? std::vector<Control*>{a, b} : std::vector<Control*>{a}));
        EXPECT_EQ(VisibleGrips(), 8) << "laid out again on release";
        EXPECT_EQ(Grip(0, 0).Pos, Tselectcontrolcla::GripPlacement(*a, 0));
    }
}

TEST_F(Designer, BandSelectsWhatItMeetsInAnyDirection) {
    // Band corners in client coordinates; a is (20,20)-(120,40), b (200,20)-(300,40), c (20,100)-(120,120).
    struct Case {
        const char* name;
        QPoint from, to;
        Qt::KeyboardModifiers keys;
        std::vector<Control*> selected;
    };
    const std::vector<Case> cases = {
        {"top-left to bottom-right", {10, 10}, {250, 50}, {}, {a, b}},
        {"bottom-right to top-left", {250, 50}, {10, 10}, {}, {a, b}},
        {"top-right to bottom-left", {250, 10}, {10, 50}, {}, {a, b}},
        {"bottom-left to top-right", {10, 50}, {250, 10}, Qt::ControlModifier, {a, b}},
        {"above a, meeting nothing", {120, 5}, {180, 10}, {}, {}},
        {"onto a's right edge from the right", {150, 35}, {120, 30}, {}, {a}},
        {"corner touching a's bottom-right", {120, 40}, {180, 90}, {}, {a}},
        {"one pixel short of c's top", {150, 60}, {10, 99}, {}, {}},
        {"down to c's top edge", {150, 60}, {10, 100}, {}, {c}},
        {"one pixel left of b", {130, 5}, {199, 60}, {}, {}},
        {"onto b's left edge", {130, 5}, {200, 60}, {}, {b}},
        {"a click on empty space touching nothing", {160, 70}, {160, 70}, {}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        page->Selection->Clear();
        Mouse m(page.get());
        m.Press(k.from, k.keys);
        EXPECT_TRUE(page->BandActive);
        EXPECT_EQ(QPoint(page->BandX1, page->BandY1), k.from + QPoint(3, 23)) << "page-window coordinates";
        m.Move((k.from + k.to) / 2, k.keys);
        m.Move(k.to, k.keys);
        if (k.from != k.to) {
            EXPECT_EQ(page->BandCanvas->Shown(), QRect(k.from, k.to).normalized());
        }
        m.Release(k.to, k.keys);
        EXPECT_FALSE(page->BandActive);
        EXPECT_FALSE(page->BandCanvas->Shown().has_value());
        EXPECT_EQ(Selected(), k.selected);
        const int count = int(k.selected.size());
        EXPECT_EQ(VisibleGrips(), count == 1 ? 8 : 4 * count);
        if (count > 1) {
            EXPECT_EQ(page->Selection->GripColor(), clGray);
        }
    }
}

TEST_F(Designer, CtrlLeftOnAWidgetStartsABandThatKeepsItFirst) {
    const struct {
        const char* name;
        Control* start;
        QPoint pressAt, to;
        std::vector<Control*> selected;
    } cases[] = {
        {"over the two others", b, {290, 35}, {30, 110}, {b, a, c}},
        {"over nothing else", c, {30, 110}, {40, 115}, {c}},
        {"from a widget back over the first", c, {25, 105}, {100, 30}, {c, a}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        page->Selection->Clear();
        Mouse m(page.get());
        m.Press(k.pressAt, Qt::ControlModifier);
        EXPECT_TRUE(page->BandActive);
        EXPECT_EQ(Selected(), std::vector<Control*>{k.start});
        m.Move(k.to, Qt::ControlModifier);
        EXPECT_EQ(page->BandCanvas->Shown(), QRect(k.pressAt, k.to).normalized());
        m.Release(k.to, Qt::ControlModifier);
        EXPECT_EQ(Selected(), k.selected);
        EXPECT_FALSE(page->BandCanvas->Shown().has_value());
    }
    EXPECT_EQ(Bounds(a), QRect(20, 20, 100, 20));
    EXPECT_EQ(Bounds(b), QRect(200, 20, 100, 20));
}

TEST_F(Designer, BandIsErasedExactly) {
    const QImage before = page->grab().toImage();
    Mouse m(page.get());
    m.Press({400, 200});
    m.Move({600, 250});
    const QImage during = page->grab().toImage();
    // The dotted outline inverts what lies beneath; inside and outside stay untouched.
    auto changed = [&](QPoint from, QPoint step, int count) {
        int n = 0;
        for (QPoint p = from; count-- > 0; p += step) {
            const QRgb was = before.pixel(p), now = during.pixel(p);
            if (now != was) {
                ++n;
                EXPECT_EQ(now & 0xFFFFFF, ~was & 0xFFFFFF) << p.x() << "," << p.y();
            }
        }
        return n;
    };
    for (const auto& [from, step, count] : {std::tuple{QPoint(400, 200), QPoint(1, 0), 201},
                                             std::tuple{QPoint(400, 250), QPoint(1, 0), 201},
                                             std::tuple{QPoint(400, 200), QPoint(0, 1), 51},
                                             std::tuple{QPoint(600, 200), QPoint(0, 1), 51}}) {
        const int n = changed(from, step, count);
        EXPECT_GT(n, count / 4) << "drawn along " << from.x() << "," << from.y();
        EXPECT_LT(n, count * 3 / 4) << "dotted, not solid";
    }
    EXPECT_EQ(changed({401, 225}, {1, 0}, 199), 0);
    EXPECT_EQ(changed({399, 199}, {1, 0}, 203), 0);
    m.Move({450, 320});
    m.Move({380, 180});
    m.Release({380, 180});
    EXPECT_EQ(page->grab().toImage(), before) << "no trail of any band drawn on the way";
}

TEST_F(Designer, GripsResizeTheWidget) {
    // The widget is 100 x 20 at (40, 60); deltas are where the mouse goes from the press point.
    struct Case {
        int grip;
        QPoint delta;
        QRect bounds;
    };
    const Case cases[] = {
        {7, {10, 5}, {40, 60, 110, 25}},
        {1, {-10, 7}, {30, 60, 110, 20}},   // left edge only
        {3, {4, -6}, {40, 54, 100, 26}},    // top edge only
        {0, {5, 5}, {45, 65, 95, 15}},
        {2, {-5, 3}, {35, 60, 105, 23}},
        {4, {9, 4}, {40, 60, 100, 24}},
        {5, {7, -2}, {40, 58, 107, 22}},
        {6, {-31, 9}, {40, 60, 69, 20}},
        // Past the opposite grip the widget keeps the size its grips can be caught at, and the
        // far edges stay put.
        {7, {-150, -40}, {40, 60, 12, 12}},
        {0, {200, 100}, {128, 68, 12, 12}},
        {1, {300, 0}, {128, 60, 12, 20}},
        {4, {0, -90}, {40, 60, 100, 12}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("grip " + std::to_string(k.grip) + " by (" + std::to_string(k.delta.x()) + ", " +
                     std::to_string(k.delta.y()) + ")");
        page->Selection->Clear();
        a->SetBounds(40, 60, 100, 20);
        Mouse m(page.get());
        m.Press(Centre(a));
        m.Release(Centre(a));
        const QPoint at = GripCentre(0, k.grip);
        ASSERT_EQ(GripUnder(at), std::make_pair(0, k.grip));
        m.Press(at);
        m.Move(at + k.delta / 2);
        m.Move(at + k.delta);
        m.Release(at + k.delta);
        EXPECT_EQ(Bounds(a), k.bounds);
        // Corners sit exactly on the new corners; a middle grip is measured from the edge that moved,
        // so on an odd side it stands half a pixel's rounding off the centre.
        for (int n = 0; n < 8; ++n) {
            const QPoint off = Grip(0, n).Pos - Tselectcontrolcla::GripPlacement(*a, n);
            if (n == 0 || n == 2 || n == 5 || n == 7) {
                EXPECT_EQ(off, QPoint(0, 0)) << n;
            } else {
                EXPECT_LE(off.manhattanLength(), 1) << n;
            }
        }
        EXPECT_EQ(Selected(), std::vector<Control*>{a});
        // However small it got, every grip is still there to be caught again.
        for (int n = 0; n < 8; ++n) EXPECT_EQ(GripUnder(GripCentre(0, n)), std::make_pair(0, n)) << n;
    }
}

TEST_F(Designer, GripResizeFollowsTheMouseBackFromPastTheOppositeEdge) {
    a->SetBounds(40, 60, 100, 20);
    Mouse m(page.get());
    m.Press(Centre(a));
    m.Release(Centre(a));
    const QPoint at = GripCentre(0, 7);
    m.Press(at);
    m.Move(at + QPoint(-200, 0));
    EXPECT_EQ(Bounds(a), QRect(40, 60, kMinGripSpan, 20));
    m.Move(at + QPoint(30, 0));
    m.Release(at + QPoint(30, 0));
    EXPECT_EQ(Bounds(a), QRect(40, 60, 130, 20)) << "the grip catches up with the cursor";
}

TEST_F(Designer, GreyGripsResizeNothing) {
    Mouse m(page.get());
    m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a));
    m.Press(Centre(b), Qt::ShiftModifier); m.Release(Centre(b));
    for (int item = 0; item < 2; ++item)
        for (int n : {0, 2, 5, 7}) {
            const QPoint at = GripCentre(item, n);
            ASSERT_EQ(GripUnder(at), std::make_pair(item, n));
            m.Drag(at, at + QPoint(15, 12));
        }
    EXPECT_EQ(Bounds(a), QRect(20, 20, 100, 20));
    EXPECT_EQ(Bounds(b), QRect(200, 20, 100, 20));
    EXPECT_EQ(Selected(), (std::vector<Control*>{a, b})) << "pressing a grip does not touch the page";
}

TEST_F(Designer, DoubleClickOpensExactlyOneDialogAndLeavesNoSelection) {
    static std::vector<std::string> calls;
    calls.clear();
    EditLabel = [](Tzorledlabel& w) { calls.push_back("EditLabel " + w.Name()); };
    EditImage = [](Tzorledimage& w) { calls.push_back("EditImage " + w.Name()); };
    EditClock = [](Tzorledclock& w) { calls.push_back("EditClock " + w.Name()); };
    TFrmZorLedForm::ShowFormEdit = [](TFrmZorLedForm&) { calls.push_back("ShowFormEdit"); };
    Control* clock = Place(wkClock, 400, 300, 200, 20);
    const struct {
        QPoint at;
        std::string call;
    } cases[] = {
        {Centre(a), "EditLabel mylabel1"},
        {Centre(c), "EditImage myzorledIMAGE1"},
        {Centre(clock), "EditClock myclock1"},
        {{600, 100}, "ShowFormEdit"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.call);
        calls.clear();
        Mouse m(page.get());
        m.Press(Centre(b));
        m.Release(Centre(b));
        m.DoubleClick(k.at);
        EXPECT_EQ(calls, std::vector<std::string>{k.call});
        EXPECT_EQ(page->Selection->Count(), 0);
        EXPECT_FALSE(page->BandActive);
    }
    EditLabel = nullptr;
    EditImage = nullptr;
    EditClock = nullptr;
    TFrmZorLedForm::ShowFormEdit = nullptr;
}

TEST_F(Designer, ClocksAreEditedLikeDrawnWidgetsAndGripsLieAboveThem) {
    Control* clock = Place(wkClock, 20, 20, 200, 20);  // over a
    EXPECT_EQ(page->childAt(30, 30), clock->Widget()) << "the clock covers the label";
    Mouse m(page.get());
    m.Press({30, 30});
    m.Move({40, 50});
    m.Release({40, 50});
    EXPECT_EQ(Bounds(clock), QRect(30, 40, 200, 20));
    EXPECT_EQ(Bounds(a), QRect(20, 20, 100, 20));
    m.Press(Centre(a));
    m.Release(Centre(a));
    EXPECT_EQ(Selected(), std::vector<Control*>{a});
    ASSERT_EQ(GripRect(0, 4), QRect(67, 37, 6, 6));
    EXPECT_EQ(page->childAt(69, 41), page->Selection->Overlay()) << "where grip and clock overlap, the grip lies on top";
}

TEST_F(Designer, RehookingNeverRoutesEventsTwice) {
    page->HookAllWidgets();
    page->HookAllWidgets();
    Mouse m(page.get());
    m.Press(Centre(a), Qt::ShiftModifier);
    m.Release(Centre(a), Qt::ShiftModifier);
    EXPECT_EQ(Selected(), std::vector<Control*>{a}) << "a second toggle would have removed it again";
}

TEST_F(Designer, ReloadedWidgetsAreEditedOnce) {
    const std::string path = ::testing::TempDir() + "designer_reload.DFM";
    Place(wkClock, 300, 200, 200, 20);
    SavePageFile(*page, path);
    for (int round = 0; round < 2; ++round) {
        std::unique_ptr<TFrmZorLedForm> fresh(new TFrmZorLedForm(nullptr));
        fresh->SetVisible(true);
        LoadPageFile(*fresh, path);
        fresh->HookAllWidgets();
        fresh->HookAllWidgets();
        ASSERT_EQ(fresh->ChildControls().size(), 4u);
        Mouse m(fresh.get());
        for (Control* w : fresh->ChildControls()) {
            m.Press(Centre(w), Qt::ShiftModifier);
            m.Release(Centre(w), Qt::ShiftModifier);
        }
        EXPECT_EQ(fresh->Selection->Count(), 4);
        Control* clock = fresh->ChildControls().back();
        const QRect before = Bounds(clock);
        m.Press(Centre(clock));
        m.Move(Centre(clock) + QPoint(7, 3));
        m.Release(Centre(clock) + QPoint(7, 3));
        EXPECT_EQ(Bounds(clock), before.translated(7, 3)) << "moved once, not twice";
    }
}

TEST_F(Designer, DeleteSelectedFreesTheSelectedWidgetsAndTheirGrips) {
    page->DeleteSelected();
    EXPECT_EQ(page->ChildControls().size(), 3u) << "nothing selected, nothing deleted";
    QPointer<QWidget> wa = a->Widget(), wb = b->Widget(), wc = c->Widget();
    Mouse m(page.get());
    m.Press(Centre(c), Qt::ShiftModifier); m.Release(Centre(c));
    m.Press(Centre(a), Qt::ShiftModifier); m.Release(Centre(a));
    EXPECT_EQ(VisibleGrips(), 8);
    page->DeleteSelected();
    EXPECT_TRUE(wa.isNull());
    EXPECT_TRUE(wc.isNull());
    EXPECT_FALSE(wb.isNull());
    EXPECT_EQ(page->ChildControls(), std::vector<Control*>{b});
    EXPECT_EQ(page->Selection->Count(), 0);
    EXPECT_EQ(VisibleGrips(), 0);
    EXPECT_TRUE(page->Selection->Overlay()->isHidden());
}

TEST_F(Designer, EventsBoundInThePageFileRunBesideTheDesigner) {
    static int shown;
    shown = 0;
    TFrmZorLedForm::ShowFormEdit = [](TFrmZorLedForm&) { ++shown; };
    a->BindEvent("OnClick", "FormDblClick");
    a->BindEvent("OnMouseDown", "FormMouseDown");
    b->BindEvent("OnMouseEnter", "FormDestroy");
    page->HookAllWidgets();
    EXPECT_EQ(a->EventHandler("OnMouseDown"), "") << "the designer's routing replaces the four it routes";
    EXPECT_EQ(a->EventHandler("OnClick"), "FormDblClick");
    Mouse m(page.get());
    m.Press(Centre(a));
    m.Release(Centre(a));
    EXPECT_EQ(shown, 1);
    m.Drag(Centre(a), Centre(a) + QPoint(300, 0), Qt::ShiftModifier);
    EXPECT_EQ(shown, 1) << "released away from the label: no click";
    // A page file may bind the page's destruction to a widget: the page then only shows.
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(b->Widget(), &enter);
    EXPECT_FALSE(page->Selection);
    m.Press(Centre(b));
    m.Release(Centre(b));
    m.DoubleClick({600, 300});
    TFrmZorLedForm::ShowFormEdit = nullptr;
}

// The same editing through the window system's own delivery: Qt picks the child under the cursor
// and keeps sending it the moves while the button is held, even far outside it.
TEST_F(Designer, WindowSystemDeliveryKeepsTheWidgetAndTheGripCaptured) {
    QWindow* window = page->windowHandle();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window, Qt::LeftButton, {}, Centre(a));
    ASSERT_EQ(Selected(), std::vector<Control*>{a});
    const QPoint grip = GripCentre(0, 7);
    QTest::mousePress(window, Qt::LeftButton, {}, grip);
    QTest::mouseMove(window, grip + QPoint(60, 40));
    QTest::mouseMove(window, grip + QPoint(150, 90));
    QTest::mouseRelease(window, Qt::LeftButton, {}, grip + QPoint(150, 90));
    EXPECT_EQ(Bounds(a), QRect(20, 20, 250, 110));

    QTest::mousePress(window, Qt::LeftButton, {}, {30, 30});
    QTest::mouseMove(window, {330, 230});
    QTest::mouseMove(window, {400, 300});
    QTest::mouseRelease(window, Qt::LeftButton, {}, {400, 300});
    EXPECT_EQ(Bounds(a), QRect(390, 290, 250, 110));
    EXPECT_EQ(VisibleGrips(), 8);
}

}  // namespace
}  // namespace zl

namespace zl {
namespace {

// Page text of `count` labels spread over the page, as a copy from the designer holds it.
std::string LabelsText(int count) {
    std::string text = "object P: TFrmZorLedForm\r\n";
    for (int n = 1; n <= count; ++n)
        text += "  object mylabel" + std::to_string(n) + ": Tzorledlabel\r\n    Left = " + std::to_string(n % 600) +
                "\r\n    Top = " + std::to_string(n / 600 % 400) + "\r\n    Width = 100\r\n    Height = 20\r\n  end\r\n";
    return text + "end\r\n";
}

class ManyWidgets : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterPageClasses();
        ResetWidgetCounters();
        page.reset(new TFrmZorLedForm(nullptr));
        page->SetName("ManyPage");
        page->SetBounds(0, 0, 806, 626);
        page->SetVisible(true);
    }
    int Children() const {
        int n = 0;
        for (QObject* o : page->children()) n += o->isWidgetType();
        return n;
    }
    std::unique_ptr<TFrmZorLedForm> page;
};

// Grips used to be eight child widgets per selected widget: Qt then painted and routed through
// hundreds of thousands of siblings, recursively, and overflowed the stack.
TEST_F(ManyWidgets, ThirtyThousandLabelsPasteUndoAndRedoWithOneGripSheet) {
    const int count = 30000;
    const std::vector<Control*> pasted = PasteText(*page, LabelsText(count));
    ASSERT_EQ(pasted.size(), size_t(count));
    EXPECT_EQ(page->Selection->Count(), count);
    EXPECT_EQ(page->Selection->GripColor(), clGray);
    const int designerParts = Children() - count;
    EXPECT_LE(designerParts, 2) << "one grip sheet and the band sheet, however many are selected";
    EXPECT_FALSE(page->grab().isNull());
    // A press on a grey grip stays with the grip: nothing moves, the group stays selected.
    const QPoint grip = page->Selection->DrawnRect(page->Selection->Items[5], page->Selection->Items[5].Grips[0]).center();
    const QRect before(pasted[5]->Left(), pasted[5]->Top(), 100, 20);
    Mouse m(page.get());
    m.Drag(grip, grip + QPoint(40, 30));
    EXPECT_EQ(QRect(pasted[5]->Left(), pasted[5]->Top(), 100, 20), before);
    EXPECT_EQ(page->Selection->Count(), count);

    page->History->Stack().undo();
    EXPECT_TRUE(page->ChildControls().empty());
    EXPECT_EQ(page->Selection->Count(), 0);
    EXPECT_FALSE(page->grab().isNull());
    page->History->Stack().redo();
    ASSERT_EQ(page->ChildControls().size(), size_t(count));
    EXPECT_EQ(page->Selection->Count(), count);
    EXPECT_EQ(page->ChildControls()[count - 1]->Name(), "mylabel" + std::to_string(count));
    EXPECT_EQ(page->ChildControls()[0]->Left(), 11) << "placed 10 px on from where it was copied";
    page->History->Stack().undo();
    EXPECT_TRUE(page->ChildControls().empty());
}

TEST_F(ManyWidgets, SelectAllOnAPageOfTenThousandReadFromAFile) {
    const std::string path = ::testing::TempDir() + "many_labels.DFM";
    {
        std::unique_ptr<TFrmZorLedForm> source(new TFrmZorLedForm(nullptr));
        source->SetName("ManyPage");
        PasteText(*source, LabelsText(10000));
        SavePageFile(*source, path);
    }
    LoadPageFile(*page, path);
    page->HookAllWidgets();
    ASSERT_EQ(page->ChildControls().size(), 10000u);
    page->SelectAll();
    EXPECT_EQ(page->Selection->Count(), 10000);
    EXPECT_EQ(Children(), 10000 + 2);
    EXPECT_FALSE(page->grab().isNull());
    // A band over part of the page takes what it meets, in one change.
    int changes = 0;
    QObject::connect(page.get(), &TFrmZorLedForm::SelectionChanged, [&] { ++changes; });
    Mouse m(page.get());
    m.Press({700, 500});
    m.Release({700, 500});
    changes = 0;
    m.Drag({0, 0}, {50, 30});
    EXPECT_EQ(changes, 1);
    EXPECT_GT(page->Selection->Count(), 100);
}

}  // namespace
}  // namespace zl
