// The switch texts, character for character, for the property combinations
// the archivers are driven with.
#include "archive/parvolt/switches.h"

#include <gtest/gtest.h>

namespace fg::parvolt {
namespace {

SwitchSettings allFlags(std::int16_t value) {
    SwitchSettings s;
    s.swUnderFolder = s.swFolderName = s.swCheckTimeStamp = s.swAttribute = value;
    s.swDiskSpace = s.swDialog = s.swGaugeProgress = value;
    return s;
}

TEST(Switches, AllFlagsFalse) {
    SwitchSettings s = allFlags(vbFalse);
    s.pTypeOfArc = Lh5;
    SwitchTexts t = makeSwitches(s);
    EXPECT_EQ(t.packSwitches[LHA_], "-r0 -x0 -c1 -a0 -f1 -n -jm2");
    EXPECT_EQ(t.extractSwitches[LHA_], "-x0 -c1 -a0 -f1 -n");
    EXPECT_EQ(t.packSwitches[ZIP_], " -j -q");
    EXPECT_EQ(t.extractSwitches[ZIP_], "-x -j --i");
    EXPECT_EQ(t.extractSwitches[TAR_], " --use-directory=0 -I --display-dialog=0");
    EXPECT_EQ(t.packSwitches[TAR_], " --use-directory=0 -AA --display-dialog=0");
    EXPECT_EQ(t.packSwitches[CAB_], " -i -mz");
    EXPECT_EQ(t.extractSwitches[CAB_], "-j -i");
    EXPECT_EQ(t.packSwitches[ARJ_], " -e -c");
    EXPECT_EQ(t.extractSwitches[ARJ_], " -a -i");
    EXPECT_EQ(t.packSwitches[RAR_], " -ep -es -eh");
    EXPECT_EQ(t.extractSwitches[RAR_], "");
    EXPECT_EQ(t.packSwitches[ISH_], " /ss");
    EXPECT_EQ(t.extractSwitches[ISH_], " /a");
    EXPECT_EQ(t.sfxSwitches, "-jw");
}

TEST(Switches, AllFlagsTrue) {
    SwitchTexts t = makeSwitches(allFlags(vbTrue));
    EXPECT_EQ(t.packSwitches[ZIP_], " -r -D -S");
    EXPECT_EQ(t.extractSwitches[ZIP_], "-u");
    EXPECT_EQ(t.packSwitches[TAR_], " -AH");
    EXPECT_EQ(t.extractSwitches[TAR_], "");
    EXPECT_EQ(t.packSwitches[RAR_], " -r");
    EXPECT_EQ(t.extractSwitches[RAR_], " -u");
    EXPECT_EQ(t.packSwitches[LHA_], "-r2 -x1 -a1 -jp1 -jm2");
    EXPECT_EQ(t.extractSwitches[LHA_], "-x1 -a1 -jp1");
    EXPECT_EQ(t.packSwitches[CAB_], "-r -mz");
    EXPECT_EQ(t.extractSwitches[CAB_], " -n");
    EXPECT_EQ(t.packSwitches[ARJ_], "-r -a");
    EXPECT_EQ(t.extractSwitches[ARJ_], " -u -hp1");
    EXPECT_EQ(t.extractSwitches[ISH_], " /r");
}

TEST(Switches, AFlagHoldingOneCountsAsUnset) {
    EXPECT_EQ(makeSwitches(allFlags(1)).packSwitches, makeSwitches(allFlags(vbFalse)).packSwitches);
    EXPECT_EQ(makeSwitches(allFlags(1)).extractSwitches, makeSwitches(allFlags(vbFalse)).extractSwitches);
}

TEST(Switches, TheCommandGoesAfterTheFlagsAndBeforeTheTypeSwitchButNotToTheSelfExtractor) {
    SwitchSettings s = allFlags(vbFalse);
    s.swCommand = "-zz";
    s.cabMultiVolume = 500;
    s.sfxCommand = "";
    SwitchTexts t = makeSwitches(s);
    EXPECT_EQ(t.packSwitches[LHA_], "-r0 -x0 -c1 -a0 -f1 -n -zz -jm2");
    EXPECT_EQ(t.packSwitches[CAB_], " -i -v:500 -zz -mz");
    EXPECT_EQ(t.packSwitches[ISH_], " -zz /ss");
    EXPECT_EQ(t.extractSwitches[RAR_], " -zz");
    for (int k = 0; k < kKinds; ++k) {
        EXPECT_NE(t.packSwitches[k].find(" -zz"), std::string::npos) << k;
        EXPECT_NE(t.extractSwitches[k].find(" -zz"), std::string::npos) << k;
    }
    EXPECT_EQ(t.sfxSwitches, "-jw");
}

TEST(Switches, CabinetCompressionAndVolumes) {
    SwitchSettings s = allFlags(vbFalse);
    s.swUnderFolder = vbTrue;
    s.swDialog = vbTrue;
    s.pTypeOfCab = LZX;
    s.LevelLZX = 21;
    s.cabMultiVolume = 500;
    EXPECT_EQ(makeSwitches(s).packSwitches[CAB_], "-r -v:500 -ml:21");
    s.pTypeOfCab = QUANTUM;
    s.LevelQUANTUM = 7;
    s.cabMultiVolume = 0;
    EXPECT_EQ(makeSwitches(s).packSwitches[CAB_], "-r -mq:7");
    s.pTypeOfCab = NOCOMPRESS;
    EXPECT_EQ(makeSwitches(s).packSwitches[CAB_], "-r -ms");
    s.pTypeOfCab = 9;
    EXPECT_EQ(makeSwitches(s).packSwitches[CAB_], "-r");
}

TEST(Switches, MethodsCharacterSetsAndSelfExtractors) {
    SwitchSettings s;
    const char* methods[] = {" -jm0", " -jm1", " -jm2", " -jm3", " -jm4"};
    for (int m = 0; m < 5; ++m) {
        s.pTypeOfArc = m;
        std::string text = makeSwitches(s).packSwitches[LHA_];
        EXPECT_EQ(text.substr(text.size() - 5), methods[m]);
    }
    s.pTypeOfArc = 7;
    EXPECT_EQ(makeSwitches(s).packSwitches[LHA_].find("-jm"), std::string::npos);

    const char* sets[] = {" /s", " /ss", " /s7", " /sn"};
    for (int c = 0; c < 4; ++c) {
        s.pTypeOfIsh = c;
        EXPECT_EQ(makeSwitches(s).packSwitches[ISH_], sets[c]);
    }
    const char* sfx[] = {"-x0", "-x1", "-jw", "-jw3", "-gw", "-gw3"};
    for (int k = 0; k < 6; ++k) {
        s.sfxType = k;
        EXPECT_EQ(makeSwitches(s).sfxSwitches, sfx[k]);
    }
    s.sfxType = WinSFX32;
    s.sfxCommand = "-o";
    EXPECT_EQ(makeSwitches(s).sfxSwitches, "-gw -o");
    s.swCommand = "-q";
    EXPECT_EQ(makeSwitches(s).sfxSwitches, "-gw -o");
}

TEST(Switches, NegativeNumbersKeepTheirSign) {
    SwitchSettings s = allFlags(vbFalse);
    s.cabMultiVolume = -5;  // only a stored value can hold this; the property refuses it
    s.pTypeOfCab = LZX;
    s.LevelLZX = -3;
    EXPECT_EQ(makeSwitches(s).packSwitches[CAB_], " -i -v:-5 -ml:-3");
}

}  // namespace
}  // namespace fg::parvolt
