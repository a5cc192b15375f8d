// The engine's texts. Texts that name a run-time library name its file on this
// platform (libkvzip.so, libkvunzip.so).
#include "zipengine/zipmessages.h"

#include <algorithm>
#include <cstdio>

namespace zipmsg {

namespace {

constexpr Entry kTable[] = {
    {kStructureWarning, "Warning - Error in zip structure!"},
    {kGarbageAtEnd, "Warning - Garbage at the end of the zipfile!"},
    {kSeekErrorReadingZip, "Seek error reading Zip archive!"},
    {kErrorReadingCentralHeader, "Error while reading a central header"},
    {kCentralSignatureWrong, "A central header signature is wrong"},
    {kErrorReadingCentralName, "Error while reading a central file name"},
    {kErrorReadingFileComment, "Error while reading a file comment"},
    {kNoMemory, "Requested memory not available"},
    {kUnknownListError, "Unknown error in List() function"},
    {kSeekErrorInputFile, "Seek error in input file"},
    {kErrorReadingEocd, "Error while reading the End Of Central Directory"},
    {kNthDiskOfSet, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    {kNotValidZip, "This archive is not a valid Zip archive"},
    {kFirstFileOfSet, "This is the first file in a backup set,\nplease choose the last file of this set"},
    {kFirstDiskOfSet, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    {kInputFileNotExist, "Input file does not exist"},
    {kZipNotOpened, "Zip file could not be opened"},
    {kDriveNotDefined, "Drive is NOT defined: %s"},
    {kNotValidDrive, "Not a valid drive: %s"},
    {kEntryCountMismatch, "Warning - The entry count of the end record does not match the central directory: "},

    {kNoZipSpecified, "Error - no zip file specified!"},
    {kNoFilesToZip, "Error - no files to zip!"},
    {kUnattendedNoPassword, "Unattended action not possible without a password"},
    {kNoUpdateOnSpanned, "AddFreshen or AddUpdate not possible on a spanned archive"},
    {kSfxCannotSpan, "Error - Self extracting archives(.exe) can not be spanned"},
    {kNoFilesToDelete, "Error - no files selected for deletion"},
    {kUnattendedExtractWarning, "Warning - Unattended Extract: possible not all files extracted"},
    {kTemporaryZipfile, "Temporary zipfile: "},
    {kFatalErrorZipLib, "Fatal Error in libkvzip.so: abort exception"},
    {kFatalErrorUnzipLib, "Fatal Error in libkvunzip.so: abort exception"},
    {kZipLibNotFound, "libkvzip.so not found!"},
    {kUnzipLibNotFound, "libkvunzip.so not found!"},
    {kZipLibLoaded, "KVZIP Loaded"},
    {kUnzipLibLoaded, "KVUNZIP Loaded!"},
    {kZipExecNotFound, "ZipLibExec function not found in libkvzip.so!"},
    {kZipVersionNotFound, "GetZipLibVersion function not found in libkvzip.so!"},
    {kUnzipExecNotFound, "UnzLibExec function not found in libkvunzip.so!"},
    {kUnzipVersionNotFound, "GetUnzLibVersion function not found in libkvunzip.so!"},
    {kSpanningNotAvailable, "Error - disk spanning is not available in this version"},
    {kTooManySpecs, "Error - the library takes at most 4097 file specifications"},
    {kExtractFolderNotMade, "Error - the folder to extract to could not be created: "},
    {kExtractFolderNotEntered, "Error - the folder to extract to cannot be entered; nothing was extracted: "},

    {kVolumeLabelNotSet, "Volume label could not be set"},
    {kUserCanceled, "User canceled operation"},
    {kCreateOutputFailed, "Creation of output file failed"},
    {kWriteErrorOutput, "Write error in output file"},
    {kUnattendedSpanning, "Unattended disk spanning not implemented"},
    {kLocalHeaderNotInTable, "A local header not found in internal structure"},
    {kTempFileNotCreated, "Temporary file could not be created"},
    {kNotEnoughFreeSpace, "This disk has not enough free space available"},
    {kInsertLastDisk, "Please insert last disk"},
    {kInsertVolumeOf, "Please insert disk volume %.1d of %.1d"},
    {kInsertVolume, "Please insert disk volume %.1d"},
    {kInDrive, "\nin drive: %s"},
    {kFileExistsOverwrite, "There is already a file %s\nDo you want to overwrite this file"},
    {kPreviousDiskOverwrite,
     "ATTENTION: This is previous disk no %d!!!\nAre you sure you want to overwrite the contents"},
    {kUnknownSpanError, "UnKnown error in function ReadSpan() or WriteSpan()"},
    {kErrorReadingLocalHeader, "Error while reading a local header"},
    {kLocalSignatureWrong, "A local header signature is wrong"},
    {kErrorReadingLocalName, "Error while reading a local file name"},
    {kErrorReadingLocalExtra, "Error while reading a local extra field"},
    {kErrorReadingZippedData, "Error while reading zipped data"},
    {kErrorDataDescriptor, "Error while reading/writing a data descriptor area"},
    {kErrorReadingCentralExtra, "Error while reading a central extra field"},
    {kErrorReadingArchiveComment, "Error while reading the archive comment"},
    {kErrorReadingSpanMarker, "Error while reading a Extended Local signature"},
    {kCreatingSpanChunks, "Now creating spanning chunks from "},
    {kSpanTo, " to "},
    {kCopying, "Copying: "},
    {kCopyingCentralDir, "Copying: Central directory"},
    {kCentralDirectory, "Central directory"},
    {kConfirmCaption, "Confirm"},
    {kSetVolumeMissing, "A volume of this spanned set is missing: %s"},
    {kSetVolumeDamaged, "A volume of this spanned set is cut short or damaged: %s"},
    {kSpanMovedFilesKept, "The spanned set was not written; the moved files are kept in the archive "},

    {kNoExeSpecified, "Error - no .EXE file specified"},
    {kInputNotExe, "Error: input file is not an .EXE file"},
    {kSfxTypeUnknown, "Error determining the type of SFX archive"},
    {kSfxTextsTooLong, "Error - The total size of the 3 text properties exceeds 245!"},
    {kSfxTextsSum, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine = "},
    {kSfxStubNotFound, "Error - kvsfx not found!"},
    {kInputNotZip, "Error: input file is not a zip file"},
    {kErrorWritingCentralHeader, "Error while writing a central header"},
    {kErrorCopyingCehName, "Error while copying a filename of a CEH structure"},
    {kSeekErrorSkippingEoc, "Seek error while skipping a EOC structure"},
    {kErrorWritingEocd, "Error while writing the End Of Central Directory"},
    {kErrorCopyingArchiveComment, "Error while copying the zip archive comment"},
};

constexpr bool ascendingInRange() {
  for (std::size_t i = 0; i < std::size(kTable); ++i) {
    if (kTable[i].id < kFirstId || kTable[i].id > kLastId) return false;
    if (i > 0 && kTable[i - 1].id >= kTable[i].id) return false;
  }
  return true;
}
static_assert(ascendingInRange(), "message ids must ascend, without repeats, within 10101..11045");

}  // namespace

const char* Find(int id) {
  auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id, [](const Entry& e, int v) { return e.id < v; });
  return it != std::end(kTable) && it->id == id ? it->text : nullptr;
}

std::string Text(int id) {
  if (const char* t = Find(id)) return t;
  return "KvMsgXX.res is probably not bound to executable\nMissing String ID is: " + std::to_string(id);
}

std::span<const Entry> Table() { return kTable; }

}  // namespace zipmsg

namespace {

std::string argAsText(const ZipFormatArg& a) {
  if (const auto* n = std::get_if<long long>(&a)) return std::to_string(*n);
  return std::get<std::string>(a);
}

}  // namespace

std::string ZipFormat(std::string_view format, std::initializer_list<ZipFormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out.push_back(format[i]);
      continue;
    }
    std::string_view rest = format.substr(i + 1);
    std::size_t len = 0;  // characters of the placeholder after the '%'
    if (rest.front() == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    if (rest.starts_with("d") || rest.starts_with("s"))
      len = 1;
    else if (rest.starts_with(".1d"))
      len = 3;
    if (len == 0) {
      out.push_back('%');
      continue;
    }
    if (next != args.end()) out += argAsText(*next++);
    i += len;
  }
  return out;
}
