// The per-view override decision: which settings object a view renders with.
#include "engine/vieweffects.h"

#include <gtest/gtest.h>

TEST(ViewEffects, FollowingTheDocumentUsesItsSettingsObject) {
    RenderSettings doc;
    std::unique_ptr<RenderSettings> own;
    EXPECT_EQ(chooseViewSettings(doc, ViewEffects{}, own), &doc);
    EXPECT_FALSE(own);
    // Asking for what the document already does is no override either.
    ViewEffects same{EffectChoice::Enable, EffectChoice::Enable};
    EXPECT_EQ(chooseViewSettings(doc, same, own), &doc);
    EXPECT_FALSE(own);
}

TEST(ViewEffects, OverridingCopiesTheDocumentButKeepsTheDefaultBackground) {
    RenderSettings doc;
    doc.setBackground(255, 0, 0, 255);
    doc.speed = 0.5f;
    std::unique_ptr<RenderSettings> own;
    RenderSettings* used =
        chooseViewSettings(doc, {EffectChoice::Disable, EffectChoice::UseParent}, own);
    ASSERT_EQ(used, own.get());
    EXPECT_FALSE(used->aberration);
    EXPECT_TRUE(used->srtDoppler);
    EXPECT_EQ(used->speed, 0.5f);
    EXPECT_EQ(used->background[0], 20);  // a view's own copy keeps the default background

    // The copy is kept and refreshed from the document every frame.
    RenderSettings* again =
        chooseViewSettings(doc, {EffectChoice::UseParent, EffectChoice::Disable}, own);
    EXPECT_EQ(again, used);
    EXPECT_TRUE(again->aberration);
    EXPECT_FALSE(again->srtDoppler);
}

TEST(ViewEffects, EnableOverridesADocumentThatIsOff) {
    RenderSettings doc;
    doc.aberration = false;
    doc.srtDoppler = false;
    std::unique_ptr<RenderSettings> own;
    RenderSettings* used =
        chooseViewSettings(doc, {EffectChoice::Enable, EffectChoice::Disable}, own);
    ASSERT_NE(used, &doc);
    EXPECT_TRUE(used->aberration);
    EXPECT_FALSE(used->srtDoppler);
}

TEST(ViewEffects, SearchlightGroupOverridesOnlyTheOppositeState) {
    RenderSettings doc;
    std::unique_ptr<RenderSettings> own;
    ViewEffects fx;
    fx.searchlight = EffectChoice::Disable;  // the document is already off
    EXPECT_EQ(chooseViewSettings(doc, fx, own), &doc);
    fx.searchlight = EffectChoice::Enable;
    RenderSettings* s = chooseViewSettings(doc, fx, own);
    ASSERT_NE(s, &doc);
    EXPECT_EQ(s->searchlight, 4);
    EXPECT_EQ(s->eye.beamingExponent, 4);
    EXPECT_EQ(doc.searchlight, 0);
    doc.searchlight = 3;  // photon counting in the document: Enable follows it
    EXPECT_EQ(chooseViewSettings(doc, fx, own), &doc);
    fx.searchlight = EffectChoice::Disable;
    s = chooseViewSettings(doc, fx, own);
    ASSERT_NE(s, &doc);
    EXPECT_EQ(s->searchlight, 0);
    EXPECT_FALSE(s->eye.extended());

    // The program's chosen exponent reaches a view that enables the searchlight on its own.
    doc.searchlight = 0;
    fx.searchlight = EffectChoice::Enable;
    fx.searchlightExponent = 3;
    s = chooseViewSettings(doc, fx, own);
    ASSERT_NE(s, &doc);
    EXPECT_EQ(s->searchlight, 3);
    EXPECT_EQ(s->eye.beamingExponent, 3);
}
