#include "engine/strip_table.h"
#include "tests/engine/engine_fixture.h"

#include <gtest/gtest.h>

namespace peldor {
namespace {

class StripTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ResetEngineGlobals();
        InitStripStates(&states);
        CurrentStrips = &states;
    }
    void TearDown() override { test::ResetEngineGlobals(); }

    /// Table indices 0-94 that are soloed / solo-muted.
    std::vector<int> Soloed() const {
        std::vector<int> result;
        for (int i = 0; i < kStripCount; ++i) {
            if (states[i].Solo) {
                result.push_back(i);
            }
        }
        return result;
    }
    int SoloMutedCount() const {
        int count = 0;
        for (int i = 0; i < kStripCount; ++i) {
            count += states[i].SoloMute ? 1 : 0;
        }
        return count;
    }

    TStripStates states;
};

TEST_F(StripTableTest, StartUpNamesCodesAndSettings) {
    const auto& d = StripTable.Descriptors;
    EXPECT_EQ(d[0].LongName, "MIDI connection 1");
    EXPECT_EQ(d[0].ShortName, "1");
    EXPECT_EQ(d[63].ShortName, "64");
    EXPECT_EQ(d[64].LongName, "Input 1");
    EXPECT_EQ(d[67].ShortName, "IN 4");
    EXPECT_EQ(d[68].LongName, "VST instrument 1");
    EXPECT_EQ(d[83].ShortName, "VSTi16");
    EXPECT_EQ(d[84].LongName, "VST effect 1");
    EXPECT_EQ(d[87].ShortName, "VST 4");
    EXPECT_EQ(d[88].LongName, "MAIN");
    EXPECT_EQ(d[89].LongName, "Monitor mix 1");
    EXPECT_EQ(d[90].ShortName, "MON 2");
    EXPECT_EQ(d[91].LongName, "Aux 1 master");
    EXPECT_EQ(d[94].ShortName, "AUX 4");
    EXPECT_EQ(d[95].LongName, "Solo bus");
    EXPECT_EQ(d[95].ShortName, "SOLO");

    // Code5 marks the kinds with aux sends, Code6 those with monitor sends.
    for (int i = 0; i < kStripCount; ++i) {
        const StripKind kind = KindOfStrip(i);
        const bool hasAux = kind == kKindInput || kind == kKindInstrument;
        const bool hasMon = hasAux || kind == kKindEffect;
        EXPECT_EQ(d[i].Code5, hasAux ? 1 : 0) << i;
        EXPECT_EQ(d[i].Code6, hasMon ? 1 : 0) << i;
    }
    EXPECT_EQ(d[0].Code2, 3);
    EXPECT_EQ(d[84].Code4, 2);
    EXPECT_EQ(d[91].Code2, 3);

    const auto& m = StripTable.MixerSettings;
    EXPECT_EQ(m.oscactive, 0);
    EXPECT_EQ(m.oscsine, 1);
    EXPECT_EQ(m.osctomain, 1);
    EXPECT_EQ(m.osclevel, 1.0f);
    EXPECT_EQ(m.sololevel, 1.0f);
    EXPECT_EQ(m.addmode, 0);
}

TEST_F(StripTableTest, NewStatesAreSilentAndCentred) {
    for (const auto& s : states) {
        EXPECT_EQ(s.Level, 0.0f);
        EXPECT_EQ(s.Pan, 0.5f);
        EXPECT_EQ(s.Mute, 0);
        EXPECT_EQ(s.AuxSend[3], 0.0f);
        EXPECT_EQ(s.MonSend[1], 0.0f);
    }
    InitStripStates(nullptr); // does nothing, does not crash
}

TEST_F(StripTableTest, CopyAllocatesAndCopiesEveryField) {
    states[70].Level = 0.7f;
    states[70].AuxSend[2] = 0.3f;
    states[5].Reverb = 99;
    std::unique_ptr<TStripStates> copy;
    CopyStripStates(states, copy);
    ASSERT_TRUE(copy);
    EXPECT_EQ((*copy)[70].Level, 0.7f);
    EXPECT_EQ((*copy)[70].AuxSend[2], 0.3f);
    EXPECT_EQ((*copy)[5].Reverb, 99);
    // Separate storage: changing the copy leaves the source alone.
    (*copy)[70].Level = 0.1f;
    EXPECT_EQ(states[70].Level, 0.7f);
    TStripStates* before = copy.get();
    CopyStripStates(states, copy);
    EXPECT_EQ(copy.get(), before);
    EXPECT_EQ((*copy)[70].Level, 0.7f);
}

TEST_F(StripTableTest, FindStripKindsAndRanges) {
    EXPECT_EQ(FindStrip(4, 7), &states[kMasterStrip]);
    EXPECT_EQ(FindStrip(7, 123), &states[kSoloStrip]);
    EXPECT_EQ(FindStrip(0, 63), &states[63]);
    EXPECT_EQ(FindStrip(1, 3), &states[67]);
    EXPECT_EQ(FindStrip(2, 15), &states[83]);
    EXPECT_EQ(FindStrip(3, 3), &states[87]);
    EXPECT_EQ(FindStrip(5, 1), &states[90]);
    EXPECT_EQ(FindStrip(6, 3), &states[94]);
    EXPECT_EQ(FindStrip(130, 0), FindStrip(2, 0));
    EXPECT_EQ(FindStrip(2, 16), nullptr);
    EXPECT_EQ(FindStrip(0, 64), nullptr);
    EXPECT_EQ(FindStrip(1, -1), nullptr);
    EXPECT_EQ(FindStrip(4, -1), nullptr);
    EXPECT_EQ(FindStrip(5, 2), nullptr);
    EXPECT_EQ(FindStrip(8, 0), nullptr);
    EXPECT_EQ(FindStrip(127, 0), nullptr);
    CurrentStrips = nullptr;
    EXPECT_EQ(FindStrip(4, 0), nullptr);
}

TEST_F(StripTableTest, ExclusiveSolo) {
    ToggleSolo(kKindInstrument, 0); // A = 68
    ToggleSolo(kKindInput, 1);      // B = 65
    EXPECT_EQ(Soloed(), std::vector<int>{65});
    EXPECT_TRUE(states[68].SoloMute);
    EXPECT_FALSE(states[65].SoloMute);
    EXPECT_EQ(SoloMutedCount(), 94); // every strip 0-94 but B; never the solo strip
    EXPECT_FALSE(states[kSoloStrip].SoloMute);

    ToggleSolo(kKindInput, 1);
    EXPECT_TRUE(Soloed().empty());
    EXPECT_EQ(SoloMutedCount(), 0);
}

TEST_F(StripTableTest, AdditiveSolo) {
    StripTable.MixerSettings.addmode = 1;
    ToggleSolo(kKindInstrument, 0); // A = 68
    ToggleSolo(kKindInstrument, 1); // B = 69
    EXPECT_EQ(Soloed(), (std::vector<int>{68, 69}));
    EXPECT_FALSE(states[68].SoloMute);
    EXPECT_FALSE(states[69].SoloMute);
    EXPECT_TRUE(states[70].SoloMute);

    ToggleSolo(kKindInstrument, 0); // unsolo A: B stays, A silenced
    EXPECT_EQ(Soloed(), std::vector<int>{69});
    EXPECT_TRUE(states[68].SoloMute);

    ToggleSolo(kKindInstrument, 1); // unsolo B: everything clear
    EXPECT_TRUE(Soloed().empty());
    EXPECT_EQ(SoloMutedCount(), 0);
}

TEST_F(StripTableTest, MuteIsIndependentOfSolo) {
    ToggleMute(kKindInstrument, 2);
    EXPECT_TRUE(states[70].Mute);
    ToggleSolo(kKindInstrument, 3);
    ToggleSolo(kKindInstrument, 3);
    EXPECT_TRUE(states[70].Mute);
    ClearSolo();
    EXPECT_TRUE(states[70].Mute);
    ToggleMute(kKindInstrument, 2);
    EXPECT_FALSE(states[70].Mute);
    ToggleMute(kKindInstrument, 99); // no such strip
}

TEST_F(StripTableTest, SoloStripIsNeitherConsultedNorChangedAsSideEffect) {
    states[kSoloStrip].Solo = 1;
    EXPECT_FALSE(AnySolo());
    ClearSolo();
    EXPECT_TRUE(states[kSoloStrip].Solo);

    ToggleSolo(kKindMidiConnection, 5); // a MIDI strip silences the audio strips
    EXPECT_TRUE(states[kFirstInstrumentStrip].SoloMute);
    EXPECT_TRUE(states[kMasterStrip].SoloMute);
    EXPECT_FALSE(states[kSoloStrip].SoloMute);
    EXPECT_TRUE(AnySolo());
}

TEST_F(StripTableTest, NothingHappensWithoutCurrentPart) {
    CurrentStrips = nullptr;
    ToggleMute(kKindMaster, 0);
    ToggleSolo(kKindMaster, 0);
    ClearSolo();
    EXPECT_FALSE(AnySolo());
    EXPECT_FALSE(states[kMasterStrip].Mute);
    EXPECT_FALSE(states[kMasterStrip].Solo);
    EXPECT_EQ(SoloMutedCount(), 0);
}

} // namespace
} // namespace peldor
