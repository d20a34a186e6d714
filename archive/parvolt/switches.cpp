#include "archive/parvolt/switches.h"

namespace fg::parvolt {

namespace {

bool set(std::int16_t flag) { return flag == vbTrue; }

const char* pick(std::int16_t flag, const char* ifTrue, const char* ifFalse) { return set(flag) ? ifTrue : ifFalse; }

}  // namespace

SwitchTexts makeSwitches(const SwitchSettings& s) {
    SwitchTexts t;
    auto& p = t.packSwitches;
    auto& x = t.extractSwitches;

    // Pack texts: each flag in turn, to the kinds that have a switch for it.
    p[LHA_] += pick(s.swUnderFolder, "-r2", "-r0");
    p[ZIP_] += pick(s.swUnderFolder, " -r", "");
    p[CAB_] += pick(s.swUnderFolder, "-r", "");
    p[ARJ_] += pick(s.swUnderFolder, "-r", "");
    p[RAR_] += pick(s.swUnderFolder, " -r", "");

    p[LHA_] += pick(s.swFolderName, " -x1", " -x0");
    p[ZIP_] += pick(s.swFolderName, " -D", " -j");
    p[ARJ_] += pick(s.swFolderName, "", " -e");
    p[TAR_] += pick(s.swFolderName, "", " --use-directory=0");
    p[RAR_] += pick(s.swFolderName, "", " -ep");

    p[LHA_] += pick(s.swCheckTimeStamp, "", " -c1");
    p[ARJ_] += pick(s.swCheckTimeStamp, "", " -c");

    p[LHA_] += pick(s.swAttribute, " -a1", " -a0");
    p[ZIP_] += pick(s.swAttribute, " -S", "");
    p[ARJ_] += pick(s.swAttribute, " -a", "");
    p[TAR_] += pick(s.swAttribute, " -AH", " -AA");
    p[RAR_] += pick(s.swAttribute, "", " -es -eh");

    p[LHA_] += pick(s.swDiskSpace, "", " -f1");

    p[LHA_] += pick(s.swDialog, "", " -n");
    p[ZIP_] += pick(s.swDialog, "", " -q");
    p[CAB_] += pick(s.swDialog, "", " -i");
    p[TAR_] += pick(s.swDialog, "", " --display-dialog=0");

    p[LHA_] += pick(s.swGaugeProgress, " -jp1", "");

    if (s.cabMultiVolume != 0) p[CAB_] += " -v:" + std::to_string(s.cabMultiVolume);

    // Extract texts; the ZIP text starts with its command letter.
    x[ZIP_] += pick(s.swCheckTimeStamp, "-u", "-x");

    x[LHA_] += pick(s.swFolderName, "-x1", "-x0");
    x[ZIP_] += pick(s.swFolderName, "", " -j");
    x[CAB_] += pick(s.swFolderName, "", "-j");
    x[TAR_] += pick(s.swFolderName, "", " --use-directory=0");

    x[LHA_] += pick(s.swCheckTimeStamp, "", " -c1");
    x[CAB_] += pick(s.swCheckTimeStamp, " -n", "");
    x[ARJ_] += pick(s.swCheckTimeStamp, " -u", "");
    x[ISH_] += pick(s.swCheckTimeStamp, " /r", " /a");
    x[RAR_] += pick(s.swCheckTimeStamp, " -u", "");

    x[LHA_] += pick(s.swAttribute, " -a1", " -a0");
    x[ARJ_] += pick(s.swAttribute, "", " -a");
    x[TAR_] += pick(s.swAttribute, "", " -I");

    x[LHA_] += pick(s.swDiskSpace, "", " -f1");

    x[LHA_] += pick(s.swDialog, "", " -n");
    x[ZIP_] += pick(s.swDialog, "", " --i");
    x[CAB_] += pick(s.swDialog, "", " -i");
    x[ARJ_] += pick(s.swDialog, "", " -i");
    x[TAR_] += pick(s.swDialog, "", " --display-dialog=0");

    x[LHA_] += pick(s.swGaugeProgress, " -jp1", "");
    x[ARJ_] += pick(s.swGaugeProgress, " -hp1", "");

    if (!s.swCommand.empty()) {
        for (auto& text : p) text += " " + s.swCommand;
        for (auto& text : x) text += " " + s.swCommand;
    }

    switch (s.pTypeOfArc) {
    case Lh0: case Lh1: case Lh5: case Lh6: case Lh7:
        p[LHA_] += " -jm" + std::to_string(s.pTypeOfArc);
        break;
    default:
        break;
    }

    switch (s.pTypeOfCab) {
    case MSZIP: p[CAB_] += " -mz"; break;
    case LZX: p[CAB_] += " -ml:" + std::to_string(s.LevelLZX); break;
    case QUANTUM: p[CAB_] += " -mq:" + std::to_string(s.LevelQUANTUM); break;
    case NOCOMPRESS: p[CAB_] += " -ms"; break;
    default: break;
    }

    switch (s.pTypeOfIsh) {
    case JIS8: p[ISH_] += " /s"; break;
    case Shift_JIS: p[ISH_] += " /ss"; break;
    case JIS7: p[ISH_] += " /s7"; break;
    case Shift_JIS_non_kana: p[ISH_] += " /sn"; break;
    default: break;
    }

    static const char* const sfx[] = {"-x0", "-x1", "-jw", "-jw3", "-gw", "-gw3"};
    // A kind outside the enumeration gets no self-extractor switch.
    if (s.sfxType >= 0 && s.sfxType <= 5) t.sfxSwitches = sfx[s.sfxType];
    if (!s.sfxCommand.empty()) t.sfxSwitches += " " + s.sfxCommand;
    return t;
}

}  // namespace fg::parvolt
