#include <gtest/gtest.h>

#include "aatext/effects.h"
#include "core/pagetext/writer.h"
#include "core/props/streaming.h"

namespace zl {
namespace {

// Counts the change notifications an owner receives from its effect.
struct EffectOwner {
    int changes = 0;
    TSmoothEffect effect{[this](TNotifyClass& sender) {
        EXPECT_EQ(&sender, &effect);
        ++changes;
    }};
};

TEST(Effects, TablesDeclareThePublishedPropertiesInOrderWithTheConstructedDefaults) {
    struct Case {
        Persistent* object;
        std::vector<std::pair<std::string, std::int64_t>> props;  // name, default
    };
    TSmoothShadow shadow;
    TSmoothGradual gradual;
    TSmoothTexture texture;
    TSmoothEffect effect;
    const Case cases[] = {
        {&shadow, {{"Enabled", 0}, {"Blur", 80}, {"Alpha", 70}, {"Color", 0x444444}, {"OffsetX", 2}, {"OffsetY", 2}}},
        {&gradual, {{"Enabled", 0}, {"Style", gsLeftToRight}, {"StartColor", 0xFFFFFF}, {"EndColor", 0}}},
        {&texture, {{"Enabled", 0}, {"Mode", tmTiled}, {"Picture", -1}}},
        {&effect, {{"Shadow", -1}, {"Gradual", -1}, {"Texture", -1}, {"Alpha", 100}, {"Blur", 0}, {"Noise", 0},
                   {"Spray", 0}, {"Outline", 0}}},
    };
    for (const Case& c : cases) {
        const auto props = c.object->Class().AllProps();
        ASSERT_EQ(props.size(), c.props.size()) << c.object->Class().name;
        for (size_t i = 0; i < props.size(); ++i) {
            SCOPED_TRACE(std::string(c.object->Class().name) + "." + std::string(props[i]->name));
            EXPECT_EQ(props[i]->name, c.props[i].first);
            if (c.props[i].second < 0) {
                EXPECT_EQ(props[i]->kind, PropKind::Object);
                continue;
            }
            EXPECT_EQ(props[i]->ordinalDefault, c.props[i].second);
            EXPECT_EQ(props[i]->get(*c.object).i, c.props[i].second) << "constructed value differs";
        }
    }
}

TEST(Effects, DisabledSubEffectsKeepQuietUntilSwitched) {
    EffectOwner owner;
    TSmoothShadow& shadow = owner.effect.Shadow();
    shadow.SetColor(clRed);
    shadow.SetBlur(10);
    owner.effect.Gradual().SetStyle(gsCenterToTB);
    owner.effect.Texture().SetMode(tmCenter);
    EXPECT_EQ(owner.changes, 0);
    EXPECT_EQ(shadow.Color(), clRed) << "a disabled sub-effect keeps its settings";

    shadow.SetEnabled(true);
    EXPECT_EQ(owner.changes, 1);
    shadow.SetColor(clBlue);
    EXPECT_EQ(owner.changes, 2);
    shadow.SetColor(clBlue);
    shadow.SetEnabled(true);
    EXPECT_EQ(owner.changes, 2) << "equal values do nothing";
    shadow.SetEnabled(false);
    EXPECT_EQ(owner.changes, 3) << "switching off notifies too";
}

TEST(Effects, EveryRealChangeOfTheEffectNotifiesOnce) {
    EffectOwner owner;
    TSmoothEffect& e = owner.effect;
    const std::function<void()> changes[] = {
        [&] { e.SetAlpha(50); },    [&] { e.SetBlur(3); },   [&] { e.SetNoise(9); }, [&] { e.SetSpray(4); },
        [&] { e.SetOutline(true); }, [&] { e.SetShadow(TSmoothShadow()); },
        [&] { e.SetGradual(TSmoothGradual()); }, [&] { e.SetTexture(TSmoothTexture()); },
    };
    for (const auto& change : changes) {
        const int before = owner.changes;
        change();
        EXPECT_EQ(owner.changes, before + 1);
    }
    e.SetAlpha(50);
    e.SetOutline(true);
    EXPECT_EQ(owner.changes, 8);
}

TEST(Effects, TexturePictureChangesCountWhileEnabled) {
    EffectOwner owner;
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::red);
    owner.effect.Texture().Picture().SetBitmap(dot);
    EXPECT_EQ(owner.changes, 0);
    owner.effect.Texture().SetEnabled(true);
    owner.effect.Texture().Picture().Clear();
    EXPECT_EQ(owner.changes, 2);
    TPicture picture;
    picture.SetBitmap(dot);
    owner.effect.Texture().SetPicture(picture);
    EXPECT_EQ(owner.changes, 3);
    EXPECT_EQ(owner.effect.Texture().Picture().Image().pixel(0, 0), qRgb(255, 0, 0));
}

TEST(Effects, AssignCopiesEverythingAndNotifiesNobody) {
    EffectOwner source, copy;
    TSmoothEffect& s = source.effect;
    s.SetAlpha(40);
    s.SetBlur(5);
    s.SetNoise(200);
    s.SetSpray(7);
    s.SetOutline(true);
    s.Shadow().SetEnabled(true);
    s.Shadow().SetAlpha(33);
    s.Shadow().SetOffsetX(-4);
    s.Shadow().SetOffsetY(6);
    s.Shadow().SetBlur(0);
    s.Shadow().SetColor(clRed);
    s.Gradual().SetEnabled(true);
    s.Gradual().SetStyle(gsBottomToTop);
    s.Gradual().SetStartColor(clYellow);
    s.Gradual().SetEndColor(clGreen);
    s.Texture().SetEnabled(true);
    s.Texture().SetMode(tmStretched);
    QImage dot(2, 1, QImage::Format_RGB32);
    dot.fill(Qt::green);
    s.Texture().Picture().SetBitmap(dot);

    copy.effect.Assign(s);
    EXPECT_EQ(copy.changes, 0);
    const TSmoothEffect& c = copy.effect;
    EXPECT_EQ(std::tuple(c.Alpha(), c.Blur(), c.Noise(), c.Spray(), c.Outline()), std::tuple(40, 5, 200, 7, true));
    EXPECT_EQ(std::tuple(c.Shadow().Enabled(), c.Shadow().Alpha(), c.Shadow().OffsetX(), c.Shadow().OffsetY(),
                         c.Shadow().Blur(), c.Shadow().Color()),
              std::tuple(true, 33, -4, 6, 0, clRed));
    EXPECT_EQ(std::tuple(c.Gradual().Enabled(), c.Gradual().Style(), c.Gradual().StartColor(), c.Gradual().EndColor()),
              std::tuple(true, gsBottomToTop, clYellow, clGreen));
    EXPECT_EQ(std::tuple(c.Texture().Enabled(), c.Texture().Mode(), c.Texture().Picture().Image().size()),
              std::tuple(true, tmStretched, QSize(2, 1)));

    // The copy is its own: later changes reach its owner only.
    copy.effect.Shadow().SetAlpha(10);
    copy.effect.Texture().Picture().Clear();
    EXPECT_EQ(copy.changes, 2);
    EXPECT_EQ(s.Shadow().Alpha(), 33);
    EXPECT_FALSE(s.Texture().Picture().Image().isNull());
}

TEST(Effects, ValuesStayWithinTheirRanges) {
    TSmoothEffect e;
    e.SetAlpha(150);
    e.SetBlur(-3);
    e.SetNoise(300);
    e.SetSpray(101);
    e.Shadow().SetOffsetX(-21);
    e.Shadow().SetOffsetY(100);
    e.Shadow().SetAlpha(-1);
    e.Shadow().SetBlur(1000);
    EXPECT_EQ(std::tuple(e.Alpha(), e.Blur(), e.Noise(), e.Spray()), std::tuple(100, 0, 255, 100));
    EXPECT_EQ(std::tuple(e.Shadow().OffsetX(), e.Shadow().OffsetY(), e.Shadow().Alpha(), e.Shadow().Blur()),
              std::tuple(-20, 20, 0, 100));
}

TEST(Effects, StreamOnlyWhatDiffersFromTheDefaultsAndReadBack) {
    TSmoothEffect effect;
    effect.Shadow().SetEnabled(true);
    effect.Shadow().SetColor(clRed);
    effect.Shadow().SetOffsetX(-2);
    effect.Gradual().SetStyle(gsCenterToLR);
    effect.SetAlpha(50);
    effect.SetOutline(true);

    std::vector<pagetext::Property> props;
    WriteProperties(effect, "FontEffect.", props);
    std::string text;
    pagetext::Writer writer(text);
    for (const auto& p : props) writer.WriteProperty(p, 0);
    EXPECT_EQ(text,
              "FontEffect.Shadow.Enabled = True\r\n"
              "FontEffect.Shadow.Color = clRed\r\n"
              "FontEffect.Shadow.OffsetX = -2\r\n"
              "FontEffect.Gradual.Style = gsCenterToLR\r\n"
              "FontEffect.Alpha = 50\r\n"
              "FontEffect.Outline = True\r\n");

    TSmoothEffect read;
    for (auto p : props) {
        p.path = p.path.substr(std::string("FontEffect.").size());
        ReadProperty(read, p, {});
    }
    std::vector<pagetext::Property> again;
    WriteProperties(read, "FontEffect.", again);
    std::string text2;
    pagetext::Writer writer2(text2);
    for (const auto& p : again) writer2.WriteProperty(p, 0);
    EXPECT_EQ(text2, text);
}

}  // namespace
}  // namespace zl
