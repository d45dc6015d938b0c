// The save settings' rules that need no Windows: the letters a file name may
// not hold, the length the folder and file name may reach together, the
// driver-text tests that refuse JPEG output, and the order of the checks the
// save page and the administrator dialog make before anything is committed.
#pragma once
#include <cstddef>
#include <string>

namespace plover {

// Letters a file name may not hold: \ / : * ? < > | "
bool HasInvalidFileNameLetter(const std::string& fileName);
// The letters as the invalid-letters message lists them, ahead of its text.
extern const char kInvalidLettersShown[];
constexpr char kInvalidLettersText[] = "These letters are invalid for file name.";

// The runner appends a time stamp and an extension of 21 characters to
// folder + "\" + file name, and the whole must fit MAX_PATH (260): so folder
// and file name together may take 239 characters.
constexpr size_t kFileNameSuffixChars = 21;
constexpr size_t kMaxPathChars = 260;
constexpr size_t kMaxFolderAndFileNameChars = kMaxPathChars - kFileNameSuffixChars;
bool SavePathTooLong(const std::string& folder, const std::string& fileName);
constexpr char kTooLongText[] =
    "Total character number of the file name and the saved Folder name is over the limitation.";
constexpr char kNoLocationText[] = "Input Save Location";

// The driver settings text ("[CustomDsData]" INI lines). A key is read at its
// first line that starts with it; an empty text answers false to both.
// Automatic page type detection: "DetectPageTypeApp" when present, else
// "DetectPageType"; non-zero is on.
bool DriverDetectsPageType(const std::string& driverText);
// Binary image: the side-1 keys "SamplesPerPixel(1)" and "BitsPerSample(1)"
// when both are present, else the plain keys; 1 and 1 is binary.
bool DriverIsBinary(const std::string& driverText);
constexpr char kJpegDetectText[] = "Cannot create a JPEG file for a Detect Color or Binary Image.";
constexpr char kJpegBinaryText[] = "Cannot create JPEG file with binary mode.";

// What the save page holds once saved, read back from the job.
struct SaveSettingValues {
    std::string m_strFileName;
    std::string m_strFolder;
    bool m_bSave = true;
    bool m_bMyPicture = true;
    long m_nFileType = 2;
    std::string m_strDriverText;
};

enum class SaveCheck {
    Pass,
    InvalidLetters, // the file name
    TooLong,        // folder and file name
    NoLocation,     // saving to a folder that is not given
    JpegDetect,     // JPEG while the driver detects the page type
    JpegBinary,     // JPEG of a binary image
};
// The checks in their order; the first that fails is the answer.
SaveCheck CheckSaveSettings(const SaveSettingValues& v);
// The English text of a failed check ("" for Pass); InvalidLetters answers
// the letters and the text as separate parts, so that only the text is
// localised: kInvalidLettersShown + localised kInvalidLettersText.
const char* SaveCheckText(SaveCheck check);

// "filetype" values.
constexpr long kFileTypeBmp = 0;
constexpr long kFileTypeJpeg = 1;
constexpr long kFileTypePdf = 2;
constexpr long kFileTypeTiff = 3;
// The file type list of the save page, in its order (not sorted).
constexpr long kSaveFileTypes[] = {kFileTypePdf, kFileTypeBmp, kFileTypeTiff, kFileTypeJpeg};
// Index in the list of a "filetype" value, -1 when it is not listed.
int SaveFileTypeIndex(long fileType);

// The last component of a folder path ("C:\Users\me\Pictures\" -> "Pictures");
// "" when there is none.
std::string LastPathComponent(const std::string& path);

} // namespace plover
