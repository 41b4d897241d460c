// The per-view override decision: which settings object a view renders with.
#include "engine/vieweffects.h"

#include <gtest/gtest.h>

// Each row: the document's state, the view's choices, and whether the view renders from its own
// copy with which effects. Asking for what the document already does is no override.
TEST(ViewEffects, OnlyChoicesAgainstTheDocumentOverrideIt) {
    using E = EffectChoice;
    const E U = E::UseParent;
    const struct {
        bool aberration, doppler;
        int8_t searchlight;
        ViewEffects view;
        bool own, seenAberration, seenDoppler;
        int8_t seenSearchlight;
    } cases[] = {
        {true, true, 0, {}, false, true, true, 0},
        {true, true, 0, {E::Enable, E::Enable, E::Disable}, false, true, true, 0},
        {true, true, 0, {E::Disable, U, U}, true, false, true, 0},
        {true, true, 0, {U, E::Disable, U}, true, true, false, 0},
        {false, false, 0, {E::Enable, E::Disable, U}, true, true, false, 0},
        {false, false, 0, {U, E::Enable, U}, true, false, true, 0},
        {true, true, 0, {U, U, E::Enable}, true, true, true, 4},
        {true, true, 0, {U, U, E::Enable, 3}, true, true, true, 3},  // the program's exponent
        {true, true, 3, {U, U, E::Enable}, false, true, true, 3},  // photon counting: follows
        {true, true, 3, {U, U, E::Disable}, true, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        RenderSettings doc;
        doc.setBackground(255, 0, 0, 255);
        doc.speed = 0.5f;
        doc.aberration = c.aberration;
        doc.srtDoppler = c.doppler;
        doc.searchlight = c.searchlight;
        std::unique_ptr<RenderSettings> own;
        RenderSettings* used = chooseViewSettings(doc, c.view, own);
        EXPECT_EQ(used, c.own ? own.get() : &doc);
        ASSERT_EQ(bool(own), c.own);
        EXPECT_EQ(used->aberration, c.seenAberration);
        EXPECT_EQ(used->srtDoppler, c.seenDoppler);
        EXPECT_EQ(used->searchlight, c.seenSearchlight);
        if (c.own) {
            EXPECT_EQ(used->eye.beamingExponent, c.seenSearchlight);
            EXPECT_EQ(used->eye.extended(), c.seenSearchlight != 0);
        }
        EXPECT_EQ(used->speed, 0.5f);
        EXPECT_EQ(used->background[0], c.own ? 20 : 255);  // a view's copy keeps the default

        // The copy is kept and refreshed from the document every frame.
        doc.speed = 0.25f;
        EXPECT_EQ(chooseViewSettings(doc, c.view, own), used);
        EXPECT_EQ(used->speed, 0.25f);
    }
}

// The light-travel-time group works like the others: a view that asks for the opposite of the
// document renders from its own copy with the switch flipped, at the document's observer time.
TEST(ViewEffects, LightTravelTimeOverridesLikeTheOtherSwitches) {
    using E = EffectChoice;
    const struct {
        bool document;
        E choice;
        bool own, seen;
    } cases[] = {
        {false, E::UseParent, false, false}, {true, E::UseParent, false, true},
        {false, E::Disable, false, false},   {true, E::Enable, false, true},
        {false, E::Enable, true, true},      {true, E::Disable, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        RenderSettings doc;
        doc.lightTravelTime = c.document;
        doc.start = Vec4f(1, 2, 3, 12.5f);
        ViewEffects view;
        view.lightTravelTime = c.choice;
        std::unique_ptr<RenderSettings> own;
        const RenderSettings* used = chooseViewSettings(doc, view, own);
        EXPECT_EQ(used, c.own ? own.get() : &doc);
        EXPECT_EQ(used->lightTravelTime, c.seen);
        EXPECT_EQ(used->start.w, 12.5f);
        EXPECT_TRUE(used->aberration);  // the other switches stay the document's
    }
}

// The starry-sky group too: the opposite of the document gives the view its own copy with the
// sky flipped, anything else the document's settings.
TEST(ViewEffects, StarrySkyOverridesLikeTheOtherSwitches) {
    using E = EffectChoice;
    const struct {
        bool document;
        E choice;
        bool own, seen;
    } cases[] = {
        {false, E::UseParent, false, false}, {true, E::UseParent, false, true},
        {false, E::Disable, false, false},   {true, E::Enable, false, true},
        {false, E::Enable, true, true},      {true, E::Disable, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        RenderSettings doc;
        doc.starrySky = c.document;
        ViewEffects view;
        view.starrySky = c.choice;
        std::unique_ptr<RenderSettings> own;
        const RenderSettings* used = chooseViewSettings(doc, view, own);
        EXPECT_EQ(used, c.own ? own.get() : &doc);
        EXPECT_EQ(used->starrySky, c.seen);
        EXPECT_FALSE(used->lightTravelTime);  // the other switches stay the document's
    }
}
