/*
 * Binary interface of the RAR library libkvrar.so, which the RAR reader loads at
 * run time. The library reads RAR archives (the 1.5-4.x format and the 5.0
 * format, single files and volume sets); it never writes them.
 *
 * Plain C, usable from C++. Texts are UTF-8 and NUL-terminated; file names use
 * "/" as the folder separator. Records are allocated by the caller; the library
 * fills them and never keeps their addresses beyond the call, except the comment
 * buffers, which it writes only during the call that received them.
 *
 * Use, with the seven entry points below:
 *   RAROpenArchive (mode list, or mode extract for testing and extracting)
 *   RARSetChangeVolProc / RARSetProcessDataProc / RARSetPassword (optional)
 *   RARReadHeader, then RARProcessFile (skip, test or extract), repeated
 *   RARCloseArchive (always, also after a failed open)
 *
 * Entries of a volume set are reported once, with the sizes of all their parts;
 * the library opens the later volumes itself, named after the first one
 * (NAME.partN.rar, or NAME.rar then NAME.r00, NAME.r01, ...), and reports each
 * through the volume callback. Opening a later volume of a set opens the set at
 * its first volume when that one lies beside it.
 *
 * Decoding runs in a separate process that the library watches: it is ended
 * when the caller cancels, or when it makes no progress for the stall limit (a
 * damaged archive that would trap the decoder gives an error, never a hang).
 */
#ifndef KELVORY_KVRAR_H
#define KELVORY_KVRAR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the entry points. 10 to 20 are the classic codes; the rest are
 * this library's additions. */
enum KvRarResult {
  RAR_SUCCESS = 0,
  RAR_END_ARCHIVE = 10,      /* no more entries */
  RAR_NO_MEMORY = 11,        /* not enough memory */
  RAR_BAD_DATA = 12,         /* damaged data: CRC mismatch, broken header or stream */
  RAR_BAD_ARCHIVE = 13,      /* not a RAR archive */
  RAR_UNKNOWN_FORMAT = 14,   /* an unknown comment or compression format */
  RAR_EOPEN = 15,            /* a file (or a needed volume) cannot be opened */
  RAR_ECREATE = 16,          /* an output file or folder cannot be created */
  RAR_ECLOSE = 17,           /* an output file cannot be closed */
  RAR_EREAD = 18,            /* an archive file cannot be read */
  RAR_EWRITE = 19,           /* an output file cannot be written (disk full...) */
  RAR_SMALL_BUF = 20,        /* the comment did not fit into the buffer */
  RAR_ABORTED = 21,          /* the caller's data callback asked to stop */
  RAR_MISSING_PASSWORD = 22, /* the entry (or the archive's headers) is encrypted; no password set */
  RAR_NO_DECRYPTION = 23,    /* the entry is encrypted with a method this library cannot decrypt */
  RAR_BAD_PASSWORD = 24,     /* the password set does not fit the entry */
  RAR_UNSAFE_NAME = 25,      /* the entry's name or link leads out of the target folder; refused */
  RAR_NOT_FIRST_VOLUME = 26, /* a later volume was opened and the first one is not beside it */
  RAR_EXISTS = 27,           /* the output file exists and overwriting was not asked for */
  RAR_BAD_PARAMS = 28        /* a record or argument the library cannot use */
};

/* RAROpenArchive modes. */
#define RAR_OM_LIST 0    /* read headers only; RARProcessFile can only skip */
#define RAR_OM_EXTRACT 1 /* test and extract */

/* RARProcessFile operations. */
#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

/* Volume callback modes. */
#define RAR_VOL_ASK 0    /* the volume is missing: put it in place (or rename the text), answer > 0 to look again */
#define RAR_VOL_NOTIFY 1 /* the volume was found and is being opened; answer > 0 to go on */

/* Comment states (CmtState). */
#define RAR_CMT_NONE 0
#define RAR_CMT_READ 1
/* otherwise one of the results above (RAR_SMALL_BUF, RAR_BAD_DATA, RAR_UNKNOWN_FORMAT, ...) */

/* Entry flags (RARHeaderData.Flags). */
#define RAR_FLAG_SPLIT_BEFORE 0x01u /* the set was opened at a later volume and the entry began earlier */
#define RAR_FLAG_SPLIT_AFTER 0x02u  /* a volume the entry continues in is missing */
#define RAR_FLAG_ENCRYPTED 0x04u    /* the entry's data is encrypted */
#define RAR_FLAG_COMMENT 0x08u      /* the entry has a comment */
#define RAR_FLAG_SOLID 0x10u        /* the entry continues the previous one's compression */
#define RAR_FLAG_DIRECTORY 0x20u    /* a folder */
#define RAR_FLAG_SYMLINK 0x40u      /* a symbolic link (LinkTarget holds its text) */
#define RAR_FLAG_HARDLINK 0x80u     /* a hard link or file copy of an earlier entry (LinkTarget names it) */
#define RAR_FLAG_UNSIZED 0x100u     /* the unpacked size was not known when the archive was made */

/* Host systems (RARHeaderData.HostOS). */
#define RAR_HOST_MSDOS 0
#define RAR_HOST_OS2 1
#define RAR_HOST_WIN32 2
#define RAR_HOST_UNIX 3
#define RAR_HOST_MACOS 4
#define RAR_HOST_BEOS 5

/* Extraction options (RAROpenArchiveData.Options). */
#define RAR_OPT_KEEP_EXISTING 0x01u /* do not replace existing files (RAR_EXISTS instead) */
#define RAR_OPT_NO_PATHS 0x02u      /* leave out the folder part of every name; folders are not made */

#define RAR_NAME_SIZE 260
#define RAR_LINK_SIZE 1024

/* The archive record of RAROpenArchive. */
struct RAROpenArchiveData {
  const char* ArcName; /* in: the archive (any volume of a set) */
  uint32_t OpenMode;   /* in: RAR_OM_LIST or RAR_OM_EXTRACT */
  uint32_t OpenResult; /* out: RAR_SUCCESS or an error */
  char* CmtBuf;        /* in: buffer for the archive comment, or NULL */
  uint32_t CmtBufSize; /* in: its size; the comment is NUL-terminated within it */
  uint32_t CmtSize;    /* out: bytes of the comment put into CmtBuf, with the NUL */
  uint32_t CmtState;   /* out: RAR_CMT_NONE, RAR_CMT_READ or an error */
  uint32_t Options;    /* in: RAR_OPT_* for extraction */
};

/* The entry record of RARReadHeader. */
struct RARHeaderData {
  char FileName[RAR_NAME_SIZE];   /* out: the stored name, "/" separated, NUL-terminated
                                   (cut at a character boundary when longer) */
  uint32_t Flags;                 /* out: RAR_FLAG_* */
  uint32_t PackSize;              /* out: packed size over all parts, low 32 bits */
  uint32_t PackSizeHigh;          /*      high 32 bits */
  uint32_t UnpSize;               /* out: unpacked size, low 32 bits */
  uint32_t UnpSizeHigh;           /*      high 32 bits */
  uint32_t HostOS;                /* out: RAR_HOST_* */
  uint32_t FileCRC;               /* out: the stored CRC-32 of the data (0 when none is stored) */
  uint32_t FileTime;              /* out: modification time, MS-DOS date (high 16 bits) and time, local */
  uint32_t UnpVer;                /* out: format version needed: 15..29 (1.5-4.x) or 50 (5.0) */
  uint32_t Method;                /* out: 0 stored, 1 fastest .. 5 best */
  uint32_t FileAttr;              /* out: attributes as stored (MS-DOS bits or a Unix mode) */
  char* CmtBuf;                   /* in: buffer for the entry's comment, or NULL */
  uint32_t CmtBufSize;            /* in: its size */
  uint32_t CmtSize;               /* out: bytes put into CmtBuf, with the NUL */
  uint32_t CmtState;              /* out: RAR_CMT_NONE, RAR_CMT_READ or an error */
  int64_t MTime;                  /* out: modification time, seconds since 1970 (UTC) */
  char LinkTarget[RAR_LINK_SIZE]; /* out: link text of a RAR_FLAG_SYMLINK / _HARDLINK entry */
};

/* Callbacks. user is the value given when the callback was set.
 * Volume: name is the volume's path in a buffer of RAR_LINK_SIZE bytes that an
 * answer to RAR_VOL_ASK may rewrite; answer > 0 to go on, <= 0 to give up.
 * Data: a block of unpacked data of the entry being tested or extracted (size 0:
 * still working, nothing new); answer < 0 to stop the entry (RAR_ABORTED). */
typedef int (*RarChangeVolProc)(void* user, char* name, int mode);
typedef int (*RarProcessDataProc)(void* user, const unsigned char* block, int size);

/* Entry points (exported by name). */
typedef void* (*RAROpenArchiveProc)(struct RAROpenArchiveData* data);
typedef int (*RARCloseArchiveProc)(void* archive);
typedef int (*RARReadHeaderProc)(void* archive, struct RARHeaderData* header);
/* folder: where to extract (NULL: the current folder); name: when not NULL, the
 * exact path of the output file instead (for one file). Both NULL when testing or
 * skipping. */
typedef int (*RARProcessFileProc)(void* archive, int operation, const char* folder, const char* name);
typedef void (*RARSetChangeVolProcProc)(void* archive, RarChangeVolProc proc, void* user);
typedef void (*RARSetProcessDataProcProc)(void* archive, RarProcessDataProc proc, void* user);
/* An empty or NULL password clears it. */
typedef void (*RARSetPasswordProc)(void* archive, const char* password);

#ifdef __cplusplus
}
#endif

#endif
