// Parvolt, the archive control: packs, extracts and lists LHA, ZIP, CAB, ARJ,
// ISH, TAR and RAR archives by the kind in ArcMode, leaving a result code and
// its text in Error and Errorstring.
//
// Behind the control each kind has one back-end: libarchive for ZIP and the
// TAR family and for reading LHA, CAB and RAR, libgcab for packing cabinets,
// and the arj program for ARJ. What cannot be done here (packing LHA or RAR,
// anything ISH, LZX, Quantum or multi-volume cabinets, self-extracting
// archives) ends with the not-supported result, and is logged.
//
// The control never changes the process's current directory: relative names
// of the pack list and a relative archive name resolve against the base
// folder (Pack) or the target folder (Extract). Extraction refuses entries
// that would land outside the target folder (absolute names, "..", links
// leading out) and entries that are neither files, folders nor links.
//
// Module-wide state (the current archive mode, the last trapped error and
// the listing) is shared by every control of a thread, as its callers expect.
#pragma once

#include "archive/parvolt/property_bag.h"
#include "archive/parvolt/switches.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fg {

// One entry of a listing; every field is text as the listing shows it.
struct ArcListEntry {
    std::string name;        // oFilesList
    std::string path;        // oPath: the folder part with its trailing "/"
    std::string orgSize;     // oOrgSize: "#,###"
    std::string packedSize;  // oPackedSize
    std::string ratio;       // oRatio: per mille / 10, "0.0" and "%"
    std::string date;        // oDate: yy/mm/dd (yy-mm-dd for ZIP)
    std::string time;        // oTime: hh:mm:ss
    std::string attr;        // oAttr
    std::string type;        // oType
    std::string crc;         // oCRC: last four hex digits
};

class Parvolt {
public:
    using Int = std::int16_t;
    using Long = std::int32_t;

    // A new control placed on its host: every property at its default, and
    // the module-wide current mode set to LHA_.
    Parvolt();

    // Host duties.
    void readProperties(const parvolt::PropertyBag& bag);
    void writeProperties(parvolt::PropertyBag& bag) const;
    // Told the name of every property that a put changed ("Hwnd" for hwnd).
    void setPropertyChangedHandler(std::function<void(const std::string&)> handler);
    // Whatever size the host asks for, the control keeps 495 by 495 twips.
    void resize(Long& width, Long& height) const;
    // Run mode hides the design-time icon and the border.
    void show(bool userMode);
    bool iconVisible() const { return iconVisible_; }
    Int borderStyle() const { return borderStyle_; }

    // Results.
    Long Error() const { return error_; }
    const std::string& Errorstring() const { return errorString_; }
    void setErrorstring(const std::string&);  // read-only: 383

    Long hwnd() const { return hwnd_; }
    void sethwnd(Long value);
    // Setting the mode also sets the mode every control of the thread works in.
    Long ArcMode() const { return arcMode_; }
    void setArcMode(Long value);

    const std::string& pArcFileName() const { return pArcFileName_; }
    void setpArcFileName(const std::string& value);
    const std::string& eArcFileName() const { return eArcFileName_; }
    void seteArcFileName(const std::string& value);
    const std::string& oArcFileName() const { return oArcFileName_; }
    void setoArcFileName(const std::string& value);
    const std::string& pBaseFolder() const { return pBaseFolder_; }
    void setpBaseFolder(const std::string& value);
    const std::string& eFolder() const { return eFolder_; }
    void seteFolder(const std::string& value);
    const std::string& oBaseFolder() const { return oBaseFolder_; }
    void setoBaseFolder(const std::string& value);
    const std::string& sfxFolder() const { return sfxFolder_; }
    void setsfxFolder(const std::string& value);
    const std::string& sfxArcFileName() const { return sfxArcFileName_; }
    void setsfxArcFileName(const std::string& value);

    // The lists: indexes 0 to count - 1; another index raises error 9.
    std::string pFilesList(const Int& i) const;
    void setpFilesList(const Int& i, const std::string& value);
    Int pFilesCount() const { return pFilesCount_; }
    void setpFilesCount(Int);  // read-only: 383
    std::string eFilesList(const Int& i) const;
    void seteFilesList(const Int& i, const std::string& value);
    Int eFilesCount() const { return eFilesCount_; }
    void seteFilesCount(Int);  // read-only: 383

    // The listing of the thread's latest OpenFile.
    Int oFilesCount() const { return oFilesCount_; }
    std::string oFilesList(const Int& i) const;
    std::string oPath(const Int& i) const;
    std::string oOrgSize(const Int& i) const;
    std::string oPackedSize(const Int& i) const;
    std::string oRatio(const Int& i) const;
    std::string oType(const Int& i) const;
    std::string oDate(const Int& i) const;
    std::string oTime(const Int& i) const;
    std::string oCRC(const Int& i) const;
    std::string oAttr(const Int& i) const;
    void setoFilesList(const Int& i, const std::string&);  // read-only: 383, as the other listing fields
    void setoPath(const Int& i, const std::string&);

    // Switch properties.
    const std::string& swCommand() const { return switches_.swCommand; }
    void setswCommand(const std::string& value);  // stored without blanks at either end
    Int swUnderFolder() const { return switches_.swUnderFolder; }
    void setswUnderFolder(Int value);
    Int swDialog() const { return switches_.swDialog; }
    void setswDialog(Int value);
    Int swGaugeProgress() const { return switches_.swGaugeProgress; }
    void setswGaugeProgress(Int value);
    Int swFolderName() const { return switches_.swFolderName; }
    void setswFolderName(Int value);
    Int swAttribute() const { return switches_.swAttribute; }
    void setswAttribute(Int value);
    Int swCheckTimeStamp() const { return switches_.swCheckTimeStamp; }
    void setswCheckTimeStamp(Int value);
    Int swDiskSpace() const { return switches_.swDiskSpace; }
    void setswDiskSpace(Int value);
    Long pTypeOfArc() const { return switches_.pTypeOfArc; }
    void setpTypeOfArc(Long value);
    Long pTypeOfCab() const { return switches_.pTypeOfCab; }
    void setpTypeOfCab(Long value);
    Long pTypeOfIsh() const { return switches_.pTypeOfIsh; }
    void setpTypeOfIsh(Long value);
    Long sfxType() const { return switches_.sfxType; }
    void setsfxType(Long value);
    const std::string& sfxCommand() const { return switches_.sfxCommand; }
    void setsfxCommand(const std::string& value);
    Long cabMultiVolume() const { return switches_.cabMultiVolume; }
    void setcabMultiVolume(Long value);  // 0 or more, else 380
    Int LevelLZX() const { return switches_.LevelLZX; }
    void setLevelLZX(Int value);  // 15 to 21, else 380
    Int LevelQUANTUM() const { return switches_.LevelQUANTUM; }
    void setLevelQUANTUM(Int value);  // 1 to 7, else 380

    // The archivers of the current mode.
    Long Version() const;
    Long VersionZipJ() const;
    bool Running() const;
    bool RunningZipJ() const;

    // Lists and operations.
    void pFilesClear();
    void pAddFile(const std::string& strFile);  // trimmed; blank names are ignored
    void eFilesClear();
    void eAddFile(const std::string& strFile);  // stored unchanged, also when empty
    void Pack();
    void Extract();
    void SFX();
    void OpenFile();
    void AboutBox() const;

    // The command line the last Pack, Extract or SFX handed to its archiver.
    const std::string& lastCommandLine() const { return commandLine_; }

    // Module-wide state of the calling thread.
    static Long currentArcMode();
    static Long lastErrorNumber();
    static const std::string& lastErrorDescription();

private:
    Long pack();
    Long extract();
    Long sfx();
    void setResult(Long code);
    void changed(const char* name);
    void initProperties();

    Long error_ = 0;
    std::string errorString_;
    Long hwnd_ = 0;
    Long arcMode_ = parvolt::LHA_;
    std::string pArcFileName_, eArcFileName_, oArcFileName_;
    std::string pBaseFolder_, eFolder_, oBaseFolder_;
    std::string sfxFolder_, sfxArcFileName_;
    std::vector<std::string> pFilesList_, eFilesList_;
    Int pFilesCount_ = 0, eFilesCount_ = 0, oFilesCount_ = 0;
    parvolt::SwitchSettings switches_;
    parvolt::SwitchTexts texts_;
    std::string commandLine_;
    bool iconVisible_ = true;
    Int borderStyle_ = 1;
    std::function<void(const std::string&)> propertyChanged_;
};

}  // namespace fg
