#include <gtest/gtest.h>

#include <QPointer>
#include <memory>

#include "core/codepage.h"
#include "page/frmzorledform.h"
#include "widgets/zorledimage.h"
#include "widgets/zorledlabel.h"

namespace zl {
namespace {

class PageForm : public ::testing::Test {
protected:
    void SetUp() override { ResetWidgetCounters(); }
    std::unique_ptr<TFrmZorLedForm> NewPage() { return std::unique_ptr<TFrmZorLedForm>(CreatePageWindow("LedDesignWin")); }
};

TEST_F(PageForm, FreshPageWindowStandsWhereTheMainWindowPutsIt) {
    auto page = NewPage();
    EXPECT_EQ(page->Name(), "LedDesignWin");
    EXPECT_EQ(page->Caption(), Utf8ToGbk("ZorLED通用显示系统"));
    EXPECT_EQ(page->windowTitle(), QString::fromUtf8("ZorLED通用显示系统"));
    EXPECT_EQ(page->Left(), 200);
    EXPECT_EQ(page->Top(), 16);
    EXPECT_EQ(page->Width(), 297);
    EXPECT_EQ(page->Height(), 281);
    EXPECT_EQ(page->ClientWidth(), 291);
    EXPECT_EQ(page->ClientHeight(), 255);
    EXPECT_TRUE(page->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(page->minimumSize(), page->maximumSize()) << "a dialog frame cannot be resized";
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(page->displaytime, 0);
}

TEST_F(PageForm, CountersNameAndPlaceWidgets) {
    auto page = NewPage();
    struct Expect {
        int kind;
        const char* name;
        int left, top, width, height;
    } expected[] = {
        {wkLabel, "mylabel1", 30, 20, 100, 20},
        {wkLabel, "mylabel2", 50, 30, 100, 20},
        {wkImage, "myzorledIMAGE1", 40, 40, 100, 20},
        {129, "mylabel3", 70, 40, 100, 20},  // only the low seven bits count
    };
    for (const auto& e : expected) {
        Control* w = page->CreateWidget(e.kind);
        ASSERT_NE(w, nullptr) << e.name;
        EXPECT_EQ(w->Name(), e.name);
        EXPECT_EQ(QRect(w->Left(), w->Top(), w->Width(), w->Height()), QRect(e.left, e.top, e.width, e.height)) << e.name;
        EXPECT_EQ(w->Widget()->parentWidget(), page.get());
    }
    for (int kind : {0, 6, 7, 127, 128}) EXPECT_EQ(page->CreateWidget(kind), nullptr) << kind;
    EXPECT_EQ(page->Components().size(), 4u);
}

TEST_F(PageForm, NewWidgetsLookAsCreated) {
    auto page = NewPage();
    auto* label = dynamic_cast<Tzorledlabel*>(page->CreateWidget(wkLabel));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Caption(), Utf8ToGbk("标签"));
    EXPECT_FALSE(label->AutoSize());
    EXPECT_FALSE(label->ParentFont());
    EXPECT_EQ(label->Font().Name(), Utf8ToGbk("宋体"));
    EXPECT_EQ(label->Font().Height(), -15);  // 11 points at 96 pixels per inch
    EXPECT_EQ(label->Font().Color(), clRed);
    EXPECT_EQ(page->Selection->Count(), 0) << "a new widget is not selected";

    auto* image = dynamic_cast<Tzorledimage*>(page->CreateWidget(wkImage));
    ASSERT_NE(image, nullptr);
    const QImage& bitmap = image->Picture().Image();
    ASSERT_EQ(bitmap.size(), QSize(100, 20));
    EXPECT_EQ(image->Picture().GraphicClassName(), "TBitmap");
    EXPECT_EQ(QColor(bitmap.pixel(0, 0)), QColor(Qt::black));
    EXPECT_EQ(QColor(bitmap.pixel(99, 19)), QColor(Qt::black));
    EXPECT_EQ(QColor(bitmap.pixel(50, 10)), QColor(Qt::white));
}

TEST_F(PageForm, CountersSurviveANewPage) {
    auto first = NewPage();
    first->CreateWidget(wkLabel);
    first->CreateWidget(wkLabel);
    first.reset();
    auto second = NewPage();
    EXPECT_EQ(second->CreateWidget(wkLabel)->Name(), "mylabel3");
    EXPECT_EQ(second->CreateWidget(wkImage)->Name(), "myzorledIMAGE1");
}

TEST_F(PageForm, CounterSkipsNamesThePageAlreadyHolds) {
    auto page = NewPage();
    auto* existing = new Tzorledlabel(page.get(), page.get());
    existing->SetName("mylabel1");
    Control* fresh = page->CreateWidget(wkLabel);
    EXPECT_EQ(fresh->Name(), "mylabel2");
    EXPECT_EQ(fresh->Left(), 50) << "placed by the number it took";
    EXPECT_EQ(page->CreateWidget(wkLabel)->Name(), "mylabel3");
}

TEST_F(PageForm, DeleteSelectedFreesTheSelectionOnly) {
    auto page = NewPage();
    Control* a = page->CreateWidget(wkLabel);
    Control* b = page->CreateWidget(wkImage);
    page->DeleteSelected();  // nothing selected: nothing happens
    EXPECT_EQ(page->Components().size(), 2u);
    page->Selection->Add(a);
    page->DeleteSelected();
    ASSERT_EQ(page->Components().size(), 1u);
    EXPECT_EQ(page->Components()[0], b);
    EXPECT_EQ(page->Selection->Count(), 0);
}

TEST_F(PageForm, WalksAreIdleWithoutDataWidgets) {
    auto page = NewPage();
    page->CreateWidget(wkLabel);
    page->CreateWidget(wkImage);
    page->StartWidgets();
    page->StopWidgets();
    EXPECT_TRUE(page->WidgetsIdle());
}

TEST_F(PageForm, PagePaintsItsColourUnderLabelsThatFollowIt) {
    auto page = NewPage();
    page->SetColor(clBlack);
    auto* label = static_cast<Tzorledlabel*>(page->CreateWidget(wkLabel));
    label->SetCaption("");
    const QImage shot = page->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(5, 5)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(label->Left() + 5, label->Top() + 5)), QColor(Qt::black)) << "ParentColor";
}

TEST_F(PageForm, FreeingThePageFreesItsWidgets) {
    auto page = NewPage();
    QPointer<QWidget> label = page->CreateWidget(wkLabel)->Widget();
    page.reset();
    EXPECT_TRUE(label.isNull());
}

}  // namespace
}  // namespace zl
