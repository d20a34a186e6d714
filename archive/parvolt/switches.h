// The archivers' switch texts, built from the archive control's option
// properties: one pack text and one extract text per archive kind, and one
// for the LHA self-extractor. Pure functions: the texts are the archivers'
// own command-line options, joined exactly as the archivers expect them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace fg::parvolt {

// Archive kinds (enmArcMode).
enum ArcMode : std::int32_t { LHA_ = 0, ZIP_ = 1, CAB_ = 2, ARJ_ = 3, ISH_ = 4, TAR_ = 5, RAR_ = 6 };
inline constexpr int kKinds = 7;
// enmTypeOfArc, enmTypeOfCab, enmTypeOfIsh, enmSfxType, enmTypeOfIshOS.
enum TypeOfArc : std::int32_t { Lh0 = 0, Lh1 = 1, Lh5 = 2, Lh6 = 3, Lh7 = 4 };
enum TypeOfCab : std::int32_t { MSZIP = 0, LZX = 1, QUANTUM = 2, NOCOMPRESS = 3 };
enum TypeOfIsh : std::int32_t { JIS8 = 0, Shift_JIS = 1, JIS7 = 2, Shift_JIS_non_kana = 3 };
enum SfxType : std::int32_t { DOS_SFX_Large = 0, DOS_SFX_Small = 1, WinSFX = 2, WinSFXM = 3, WinSFX32 = 4, WinSFX32M = 5 };
enum TypeOfIshOS : std::int32_t { MS_DOS = 0, UNIX = 1, CP_M = 2, OS_9 = 3, Other = 4, All_OS = 5 };

// The control's flags keep the values they are given; only True (-1) counts
// as set, so a flag holding 1 selects the switches of an unset flag.
inline constexpr std::int16_t vbTrue = -1;
inline constexpr std::int16_t vbFalse = 0;

struct SwitchSettings {
    std::int16_t swUnderFolder = vbTrue;
    std::int16_t swFolderName = vbTrue;
    std::int16_t swCheckTimeStamp = vbTrue;
    std::int16_t swAttribute = vbTrue;
    std::int16_t swDiskSpace = vbTrue;
    std::int16_t swDialog = vbTrue;
    std::int16_t swGaugeProgress = vbFalse;
    std::string swCommand;
    std::int32_t pTypeOfArc = Lh5;
    std::int32_t pTypeOfCab = MSZIP;
    std::int16_t LevelLZX = 15;
    std::int16_t LevelQUANTUM = 1;
    std::int32_t cabMultiVolume = 0;
    std::int32_t pTypeOfIsh = Shift_JIS;
    std::int32_t sfxType = WinSFX;
    std::string sfxCommand;
};

struct SwitchTexts {
    std::array<std::string, kKinds> packSwitches;
    std::array<std::string, kKinds> extractSwitches;
    std::string sfxSwitches;
};

SwitchTexts makeSwitches(const SwitchSettings& settings);

}  // namespace fg::parvolt
