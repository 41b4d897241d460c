// The per-view override decision: which settings object a view renders with.
#include "engine/vieweffects.h"

#include <gtest/gtest.h>

// Each row: the document's state, the view's choices, and whether the view renders from its own
// copy (kept and refreshed every frame) with which effects. Asking for what the document already
// does is no override.
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
        {true, true, 0, {E::Enable, E::Enable, E::Disable}, false, true, true, 0},
        {true, true, 0, {E::Disable, U, U}, true, false, true, 0},
        {false, false, 0, {E::Enable, E::Disable, U}, true, true, false, 0},
        {false, false, 0, {U, E::Enable, U}, true, false, true, 0},
        {true, true, 0, {U, U, E::Enable, 3}, true, true, true, 3},  // the program's exponent
        {true, true, 3, {U, U, E::Enable}, false, true, true, 3},    // photon counting: follows
        {true, true, 3, {U, U, E::Disable}, true, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        RenderSettings doc;
        doc.speed = 0.5f;
        doc.aberration = c.aberration;
        doc.srtDoppler = c.doppler;
        doc.searchlight = c.searchlight;
        std::unique_ptr<RenderSettings> own;
        RenderSettings* used = chooseViewSettings(doc, c.view, own);
        EXPECT_EQ(used, c.own ? own.get() : &doc);
        EXPECT_EQ(used->aberration, c.seenAberration);
        EXPECT_EQ(used->srtDoppler, c.seenDoppler);
        EXPECT_EQ(used->searchlight, c.seenSearchlight);
        EXPECT_EQ(used->eye.beamingExponent, c.own ? c.seenSearchlight : doc.eye.beamingExponent);
        doc.speed = 0.25f;
        EXPECT_EQ(chooseViewSettings(doc, c.view, own), used);
        EXPECT_EQ(used->speed, 0.25f);
    }
}
