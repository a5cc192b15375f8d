// The engine's message table: every text the ZIP engine shows or reports, under a
// numeric id of its own in the range 10101..11045.
//
// Ids are grouped by the engine's areas: directory reading (101xx), operations and
// the run-time libraries (102xx), spanned sets (103xx) and self-extracting
// programs (104xx). A text may be a format with %d, %.1d or %s placeholders,
// filled by ZipFormat().
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace zipmsg {

// ---- directory reading ------------------------------------------------------
inline constexpr int kStructureWarning = 10101;     // "Warning - Error in zip structure!"
inline constexpr int kGarbageAtEnd = 10102;         // "Warning - Garbage at the end of the zipfile!"
inline constexpr int kSeekErrorReadingZip = 10103;  // "Seek error reading Zip archive!"
inline constexpr int kErrorReadingCentralHeader = 10104;
inline constexpr int kCentralSignatureWrong = 10105;
inline constexpr int kErrorReadingCentralName = 10106;
inline constexpr int kErrorReadingFileComment = 10107;
inline constexpr int kNoMemory = 10108;            // "Requested memory not available"
inline constexpr int kUnknownListError = 10109;    // "Unknown error in List() function"
inline constexpr int kSeekErrorInputFile = 10110;  // "Seek error in input file"
inline constexpr int kErrorReadingEocd = 10111;
inline constexpr int kNthDiskOfSet = 10112;  // %d: disk number from the volume label
inline constexpr int kNotValidZip = 10113;
inline constexpr int kFirstFileOfSet = 10114;
inline constexpr int kFirstDiskOfSet = 10115;
inline constexpr int kInputFileNotExist = 10116;  // "Input file does not exist"
inline constexpr int kZipNotOpened = 10117;       // "Zip file could not be opened"
inline constexpr int kDriveNotDefined = 10118;    // %s: drive root
inline constexpr int kNotValidDrive = 10119;      // %s: drive root
// The end record counts other than the headers the directory holds (a count kept
// modulo 65536, or a lying one); every header found is listed. + the two numbers
inline constexpr int kEntryCountMismatch = 10120;

// ---- operations and libraries -----------------------------------------------
inline constexpr int kNoZipSpecified = 10201;
inline constexpr int kNoFilesToZip = 10202;
inline constexpr int kUnattendedNoPassword = 10203;
inline constexpr int kNoUpdateOnSpanned = 10204;
inline constexpr int kSfxCannotSpan = 10205;
inline constexpr int kNoFilesToDelete = 10206;
inline constexpr int kUnattendedExtractWarning = 10207;
inline constexpr int kTemporaryZipfile = 10208;  // "Temporary zipfile: " + name
inline constexpr int kFatalErrorZipLib = 10209;
inline constexpr int kFatalErrorUnzipLib = 10210;
inline constexpr int kZipLibNotFound = 10211;
inline constexpr int kUnzipLibNotFound = 10212;
inline constexpr int kZipLibLoaded = 10213;
inline constexpr int kUnzipLibLoaded = 10214;
inline constexpr int kZipExecNotFound = 10215;
inline constexpr int kZipVersionNotFound = 10216;
inline constexpr int kUnzipExecNotFound = 10217;
inline constexpr int kUnzipVersionNotFound = 10218;
// Requests this build cannot carry out yet, and refusals that guard against
// losing work.
inline constexpr int kSpanningNotAvailable = 10219;
inline constexpr int kTooManySpecs = 10221;
inline constexpr int kExtractFolderNotMade = 10222;     // + the folder
inline constexpr int kExtractFolderNotEntered = 10223;  // + the folder and the reason

// ---- spanned sets -------------------------------------------------------------
inline constexpr int kVolumeLabelNotSet = 10301;
inline constexpr int kUserCanceled = 10302;  // "User canceled operation"
inline constexpr int kCreateOutputFailed = 10303;
inline constexpr int kWriteErrorOutput = 10304;
inline constexpr int kUnattendedSpanning = 10305;
inline constexpr int kLocalHeaderNotInTable = 10306;
inline constexpr int kTempFileNotCreated = 10307;
inline constexpr int kNotEnoughFreeSpace = 10308;
inline constexpr int kInsertLastDisk = 10309;
inline constexpr int kInsertVolumeOf = 10310;         // %.1d of %.1d
inline constexpr int kInsertVolume = 10311;           // %.1d
inline constexpr int kInDrive = 10312;                // "\nin drive: %s"
inline constexpr int kFileExistsOverwrite = 10313;    // %s
inline constexpr int kPreviousDiskOverwrite = 10314;  // %d
inline constexpr int kUnknownSpanError = 10315;
inline constexpr int kErrorReadingLocalHeader = 10316;
inline constexpr int kLocalSignatureWrong = 10317;
inline constexpr int kErrorReadingLocalName = 10318;
inline constexpr int kErrorReadingLocalExtra = 10319;
inline constexpr int kErrorReadingZippedData = 10320;
inline constexpr int kErrorDataDescriptor = 10321;
inline constexpr int kErrorReadingCentralExtra = 10322;
inline constexpr int kErrorReadingArchiveComment = 10323;
inline constexpr int kErrorReadingSpanMarker = 10324;
inline constexpr int kCreatingSpanChunks = 10325;  // "Now creating spanning chunks from "
inline constexpr int kSpanTo = 10326;              // " to "
inline constexpr int kCopying = 10327;             // "Copying: "
inline constexpr int kCopyingCentralDir = 10328;
inline constexpr int kCentralDirectory = 10329;  // "Central directory"
inline constexpr int kConfirmCaption = 10330;    // "Confirm"
// A set on a fixed drive lacks a volume, or one is cut short: %s names it.
inline constexpr int kSetVolumeMissing = 10331;
inline constexpr int kSetVolumeDamaged = 10332;
// A spanning Add with AddMove whose set could not be written; followed by the
// name of the archive the moved files are in.
inline constexpr int kSpanMovedFilesKept = 10333;

// ---- self-extracting programs -------------------------------------------------
inline constexpr int kNoExeSpecified = 10401;
inline constexpr int kInputNotExe = 10402;
inline constexpr int kSfxTypeUnknown = 10403;
inline constexpr int kSfxTextsTooLong = 10404;
inline constexpr int kSfxTextsSum = 10405;  // "\r\nSFXCaption + ... = "
inline constexpr int kSfxStubNotFound = 10406;
inline constexpr int kInputNotZip = 10407;
inline constexpr int kErrorWritingCentralHeader = 10408;
inline constexpr int kErrorCopyingCehName = 10409;
inline constexpr int kSeekErrorSkippingEoc = 10410;
inline constexpr int kErrorWritingEocd = 10411;
inline constexpr int kErrorCopyingArchiveComment = 10412;

inline constexpr int kFirstId = 10101;
inline constexpr int kLastId = 11045;

// Texts used by disk prompts when the table lacks the prompt's own text.
inline constexpr const char* kDefaultInsertLastDisk = "Please insert last disk in set";
inline constexpr const char* kDefaultInsertVolumeOf = "Please insert disk volume %.1d of %.1d";
inline constexpr const char* kDefaultInsertVolume = "Please insert disk volume %.1d";
inline constexpr const char* kDefaultPreviousDisk = "Overwrite previous disk no %d";
inline constexpr const char* kDefaultPreviousFile = "Overwrite previous file %s";
inline constexpr const char* kDefaultNotEnoughSpace = "This disk has not enough free space available";

// The table's text for id, or nullptr when the table has none.
const char* Find(int id);

// The table's text for id; for an id without text, the missing-id text
// "KvMsgXX.res is probably not bound to executable\nMissing String ID is: <id>".
std::string Text(int id);

struct Entry {
  int id;
  const char* text;
};
// The whole table, ascending by id (for tests and tools).
std::span<const Entry> Table();

}  // namespace zipmsg

// One argument for ZipFormat: a whole number or a text.
using ZipFormatArg = std::variant<long long, std::string>;

// Fills the placeholders of format, left to right: "%d" and "%.1d" take a number
// (a text argument is inserted as it is), "%s" takes a text (a number is written in
// decimal); "%%" is a single "%". Placeholders without an argument are removed;
// surplus arguments are ignored. Never reads beyond the given arguments.
std::string ZipFormat(std::string_view format, std::initializer_list<ZipFormatArg> args);
