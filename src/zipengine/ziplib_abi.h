/*
 * Binary interface between the ZIP engine and the two libraries it loads at run
 * time: the compressor (libkvzip.so: ZipLibExec, GetZipLibVersion) and the
 * extractor (libkvunzip.so: UnzLibExec, GetUnzLibVersion).
 *
 * Plain C, usable from C++. The caller allocates a parameter block zero-filled,
 * fills it and passes its address; the library reads it, calls the callback
 * routine for progress and messages, and returns a count. All texts are UTF-8,
 * NUL-terminated, owned by the caller; the library never frees or keeps them.
 *
 * Field rules: every flag is 32 bits, 0 = off, all bits set (ZIPLIB_ON) = on (the
 * libraries take any non-zero value as on); the recurse flag of the compressor
 * is the one 16-bit flag. Addresses are pointer-sized. On a 32-bit build every
 * offset and size equals the historic 32-bit layout; the static assertions at
 * the end check that (the test suite also compiles this header for 32 bits).
 *
 * Passwords: an empty password text means "no password" unless the PasswordGiven
 * word (0 in old callers' blocks) is on; then the empty text is the password, as
 * an archive may be encrypted with the empty password.
 *
 * Name patterns: "*" stands for any run of characters, "?" for one. With the
 * LiteralNames word on (a word old callers leave 0), every pattern of the block
 * is a plain name that matches only itself, so names holding "*" or "?" (taken
 * from a listing, or files to add) can be given one by one.
 *
 * Two layouts exist for each block. A compressor reporting version 151 or more
 * takes ZipExecParams (file records), older ones ZipExecParamsOld (inline
 * name-pattern addresses); for the extractor the switch is at 152. The libraries
 * of this project report ZIPLIB_VERSION and read either layout (they tell them
 * apart by where the constant ZIPLIB_BLOCK_MARK stands).
 */
#ifndef KELVORY_ZIPLIB_ABI_H
#define KELVORY_ZIPLIB_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Version reported by both libraries of this project. */
#define ZIPLIB_VERSION 160
/* Compressor versions from this one on take the layout with file records. */
#define ZIPLIB_ZIP_NEW_LAYOUT_VERSION 151
/* Extractor versions from this one on take the layout with file records. */
#define ZIPLIB_UNZ_NEW_LAYOUT_VERSION 152
/* The caller's version the engine puts into every block. */
#define ZIPLIB_CALLER_VERSION 152
/* Constant that closes every block (and tells the layouts apart). */
#define ZIPLIB_BLOCK_MARK 7
/* Most name-pattern addresses the old layouts hold. */
#define ZIPLIB_MAX_OLD_SPECS 4097

#define ZIPLIB_ON 0xFFFFFFFFu
#define ZIPLIB_OFF 0u
#define ZIPLIB_ON16 0xFFFFu

/* Callback answers. */
#define ZIPLIB_CONTINUE 0u
#define ZIPLIB_STOP 0xFFFFFFFFu

/* Action codes of the callback record. */
enum ZipLibAction {
  ZIPLIB_ACTION_FILE_BEGIN = 1,  /* a file begins: Text = name, Size = its size */
  ZIPLIB_ACTION_PROGRESS = 2,    /* Size = bytes just processed (at most 32 KiB per call) */
  ZIPLIB_ACTION_BATCH_END = 3,   /* the batch ended */
  ZIPLIB_ACTION_MESSAGE = 4,     /* Text = message, ErrorCode = its code (0: information) */
  ZIPLIB_ACTION_TOTAL_FILES = 5, /* Size = number of files in the batch */
  ZIPLIB_ACTION_TOTAL_SIZE = 6,  /* Size = total bytes of the batch */
  ZIPLIB_ACTION_COLLECTING = 7,  /* looking for the files to add: Text = the folder being read, Size = files found */
  ZIPLIB_ACTION_PASSWORD = 8     /* an encrypted entry needs a password: see below */
};

/* Password requests. The extractor asks for the password of an encrypted entry
 * when neither the password that opened the entry before it nor the block's
 * fits, and only when the block has a window handle (unattended runs are never
 * asked). Text = the entry's name, ErrorCode = ZIPLIB_E_PASSWORD when the
 * password tried last did not fit (0 when none was known), Size = the requests
 * made for this entry before. The callback answers ZIPLIB_ANSWER_PASSWORD after
 * writing the password into Text (NUL-terminated, at most 80 bytes are used; an
 * empty text is the empty password), ZIPLIB_ANSWER_SKIP to leave the entry out,
 * or ZIPLIB_STOP. Any other answer, such as ZIPLIB_CONTINUE from a caller that
 * does not know the request, fails the entry as it would without it. */
#define ZIPLIB_ANSWER_PASSWORD 1u
#define ZIPLIB_ANSWER_SKIP 2u

/* Error codes of message callbacks. 0 is an information (shown only when verbose);
 * ZIPLIB_NOTICE one the user should see though nothing went wrong; every other
 * code reports a problem. The low byte is the code proper. */
enum ZipLibError {
  ZIPLIB_OK = 0,
  ZIPLIB_E_WARNING = 1,      /* something was skipped; the rest went on */
  ZIPLIB_E_BAD_ARCHIVE = 2,  /* the archive's structure is damaged or not ZIP */
  ZIPLIB_E_MEMORY = 3,       /* out of memory */
  ZIPLIB_E_READ = 4,         /* a file could not be read */
  ZIPLIB_E_WRITE = 5,        /* a file could not be written */
  ZIPLIB_E_DISK_FULL = 6,    /* no space left on the target */
  ZIPLIB_E_NOT_FOUND = 7,    /* a named file or entry does not exist */
  ZIPLIB_E_UNSAFE_NAME = 8,  /* an entry name or link would leave the target folder */
  ZIPLIB_E_CRC = 9,          /* data damaged: CRC or size mismatch, bad deflate data */
  ZIPLIB_E_UNSUPPORTED = 10, /* compression method or encryption not supported */
  ZIPLIB_E_PASSWORD = 11,    /* password missing or wrong */
  ZIPLIB_E_BAD_PARAMS = 12,  /* the parameter block is not understood */
  ZIPLIB_E_CHANGED = 13,     /* a source changed while it was being added */
  ZIPLIB_E_CANCELLED = 14,   /* a callback asked to stop */
  ZIPLIB_NOTICE = 15         /* not a problem, but worth telling (leftovers of an interrupted write removed) */
};

/* The extractor's information message (code 0) for an entry it did not write
 * because a file of that name exists and overwriting is off: this text, then the
 * entry's name. Sent whether verbose is on or not, so a caller can count them. */
#define ZIPLIB_TEXT_KEPT "  exists, not overwritten: "

/* Passed by address to the callback routine, which returns ZIPLIB_CONTINUE or
 * ZIPLIB_STOP. The record belongs to the library and is valid during the call. */
typedef struct ZipCallbackRecord {
  void* Handle;        /*   0: window handle from the block */
  void* Caller;        /*   4: the calling component from the block */
  uint32_t Version;    /*   8: the library's version */
  uint32_t Reserved12; /*  12 */
  uint32_t ActionCode; /*  16: ZipLibAction */
  uint32_t ErrorCode;  /*  20: ZipLibError for messages, else 0 */
  uint32_t Size;       /*  24: size or count, 0xFFFFFFFF when larger */
  char Text[513];      /*  28: up to 512 bytes of UTF-8 and a NUL */
  uint64_t Size64;     /* 544: the same size or count at full width */
} ZipCallbackRecord;

typedef uint32_t (*ZipLibCallback)(ZipCallbackRecord* record);

/* ------------------------------------------------------------------ compressor */

/* One name pattern of the new layout: a file name, folder name (ending in "/")
 * or wildcard ("*", "?") to add, or an entry name or wildcard to delete. */
typedef struct ZipFileRecord {
  const char* Spec;      /*   0 */
  uint32_t Reserved[25]; /*   4..103: zero */
} ZipFileRecord;

/* Fields shared by both compressor layouts (offsets 0..127 on 32 bits). */
#define ZIPLIB_ZIP_COMMON_FIELDS                                                      \
  void* Handle;            /*   0: window handle, 0 when unattended */                \
  void* Caller;            /*   4: the calling component, handed back in callbacks */ \
  uint32_t Version;        /*   8: the caller's version (152) */                      \
  ZipLibCallback Callback; /*  12: callback routine, may be 0 */                      \
  uint32_t Trace;          /*  16: trace flag */                                      \
  const char* Password;    /*  20: password (at most 80 bytes used), may be 0 */      \
  uint32_t PasswordGiven;  /*  24: the password is one even when empty */             \
  uint32_t Encrypt;        /*  28: encrypt new entries with the password */           \
  uint32_t HiddenFiles;    /*  32: include names starting with "." */                 \
  uint32_t Reserved36;     /*  36 */                                                  \
  uint32_t Reserved40;     /*  40 */                                                  \
  uint32_t NoDirEntries;   /*  44: write no separate folder entries */                \
  uint32_t Reserved48;     /*  48 */                                                  \
  uint32_t Verbose;        /*  52: report every step as a message */                  \
  uint32_t Always56;       /*  56: on */                                              \
  uint32_t Level;          /*  60: compression level 0 (store) .. 9 */                \
  uint32_t Reserved64;     /*  64 */                                                  \
  uint32_t Reserved68;     /*  68 */                                                  \
  uint32_t StripDirNames;  /*  72: store file names without their folders */          \
  uint16_t Recurse;        /*  76: recurse into folders (0 or 0xFFFF) */              \
  uint16_t Reserved78;     /*  78 */                                                  \
  uint32_t AddMode;        /*  80: on for adding, off for deleting */                 \
  uint32_t ForceDos;       /*  84: force MS-DOS 8.3 names */                          \
  uint32_t Move;           /*  88: delete the sources once the archive is written */  \
  uint32_t DeleteEntries;  /*  92: delete the entries the name patterns match */      \
  uint32_t Update;         /*  96: add only newer or missing files */                 \
  uint32_t Freshen;        /* 100: replace only entries whose file is newer */        \
  uint32_t LiteralNames;   /* 104: each name pattern is a name: no wildcards */       \
  uint32_t ZipTime;        /* 108: give the archive its newest entry's time */        \
  uint32_t Reserved112;    /* 112 */                                                  \
  uint32_t Reserved116;    /* 116 */                                                  \
  uint32_t SpecCount;      /* 120: number of name patterns */                         \
  const char* ArchiveName; /* 124: the archive */

/* The layout with file records (216 bytes on 32 bits). */
typedef struct ZipExecParams {
  ZIPLIB_ZIP_COMMON_FIELDS
  const char* TempDir;        /* 128: folder for temporary files, may be 0 */
  uint32_t Reserved132;       /* 132 */
  uint32_t Reserved136;       /* 136 */
  ZipFileRecord* FileRecords; /* 140: SpecCount records */
  uint32_t Reserved144[17];   /* 144..211 */
  uint32_t Mark;              /* 212: ZIPLIB_BLOCK_MARK */
} ZipExecParams;

/* The layout with inline name-pattern addresses (16520 bytes on 32 bits). */
typedef struct ZipExecParamsOld {
  ZIPLIB_ZIP_COMMON_FIELDS
  uint32_t Mark;                           /* 128: ZIPLIB_BLOCK_MARK */
  const char* Specs[ZIPLIB_MAX_OLD_SPECS]; /* 132.. */
} ZipExecParamsOld;

/* ------------------------------------------------------------------- extractor */

/* One name pattern of the new layout: an entry name or wildcard. */
typedef struct UnzFileRecord {
  const char* Spec;      /*  0 */
  uint32_t Reserved[17]; /*  4..71: zero */
} UnzFileRecord;

#define ZIPLIB_UNZ_COMMON_FIELDS                                                  \
  void* Handle;            /*   0: window handle, 0 when unattended */            \
  void* Caller;            /*   4: the calling component */                       \
  uint32_t Version;        /*   8: the caller's version (152) */                  \
  ZipLibCallback Callback; /*  12: callback routine, may be 0 */                  \
  uint32_t Trace;          /*  16: trace flag */                                  \
  uint32_t PasswordGiven;  /*  20: the password is one even when empty */         \
  const char* Password;    /*  24: password (at most 80 bytes used), may be 0 */  \
  uint32_t Test;           /*  28: only test the entries */                       \
  uint32_t LiteralNames;   /*  32: each name pattern is a name: no wildcards */   \
  uint32_t Reserved36;     /*  36 */                                              \
  uint32_t Always40;       /*  40: on */                                          \
  uint32_t Verbose;        /*  44: report every step as a message */              \
  uint32_t Update;         /*  48: extract only newer or missing files */         \
  uint32_t Freshen;        /*  52: extract only files that exist and are older */ \
  uint32_t DirNames;       /*  56: restore the stored folder names */             \
  uint32_t Overwrite;      /*  60: overwrite existing files */                    \
  uint32_t SpecCount;      /*  64: number of name patterns, 0 = every entry  */   \
  const char* ArchiveName; /*  68: the archive */

/* The layout with file records (148 bytes on 32 bits). */
typedef struct UnzExecParams {
  ZIPLIB_UNZ_COMMON_FIELDS
  UnzFileRecord* FileRecords; /*  72: SpecCount records */
  uint32_t Reserved76[17];    /*  76..143 */
  uint32_t Mark;              /* 144: ZIPLIB_BLOCK_MARK */
} UnzExecParams;

/* The layout with inline name-pattern addresses (16464 bytes on 32 bits). */
typedef struct UnzExecParamsOld {
  ZIPLIB_UNZ_COMMON_FIELDS
  uint32_t Mark;                           /*  72: ZIPLIB_BLOCK_MARK */
  const char* Specs[ZIPLIB_MAX_OLD_SPECS]; /*  76.. */
} UnzExecParamsOld;

/* ---------------------------------------------------------------- entry points */

/* Adds or deletes as the block says; the block is a ZipExecParams or a
 * ZipExecParamsOld. Returns the number of files added (or entries deleted) in an
 * archive that was written completely; 0 when nothing changed (nothing to do,
 * an error, or a callback asked to stop: the archive is then left untouched). */
int32_t ZipLibExec(void* params);
int32_t GetZipLibVersion(void);

/* Extracts or tests the entries the block names, relative to the current folder.
 * Returns the number of entries extracted or tested good (folder entries count);
 * after a stop request, the number done until then. */
int32_t UnzLibExec(void* params);
int32_t GetUnzLibVersion(void);

typedef int32_t (*ZipLibExecProc)(void* params);
typedef int32_t (*ZipLibVersionProc)(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The historic 32-bit layout, checked wherever pointers are 32 bits wide. */
#if defined(__cplusplus)
#define ZIPLIB_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define ZIPLIB_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
ZIPLIB_STATIC_ASSERT(sizeof(ZipExecParams) == 216, "compressor block with file records");
ZIPLIB_STATIC_ASSERT(sizeof(ZipExecParamsOld) == 16520, "compressor block with inline names");
ZIPLIB_STATIC_ASSERT(sizeof(UnzExecParams) == 148, "extractor block with file records");
ZIPLIB_STATIC_ASSERT(sizeof(UnzExecParamsOld) == 16464, "extractor block with inline names");
ZIPLIB_STATIC_ASSERT(sizeof(ZipFileRecord) == 104, "compressor file record");
ZIPLIB_STATIC_ASSERT(sizeof(UnzFileRecord) == 72, "extractor file record");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, Callback) == 12, "callback");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, Password) == 20, "password");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, PasswordGiven) == 24, "password given");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, NoDirEntries) == 44, "no dir entries");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, Level) == 60, "level");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, StripDirNames) == 72, "strip dir names");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, Recurse) == 76, "recurse");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, AddMode) == 80, "add mode");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, DeleteEntries) == 92, "delete entries");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, Freshen) == 100, "freshen");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, LiteralNames) == 104, "literal names");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, ZipTime) == 108, "zip time");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, SpecCount) == 120, "spec count");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, ArchiveName) == 124, "archive name");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, TempDir) == 128, "temp dir");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, FileRecords) == 140, "file records");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParams, Mark) == 212, "mark");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParamsOld, Mark) == 128, "old mark");
ZIPLIB_STATIC_ASSERT(offsetof(ZipExecParamsOld, Specs) == 132, "old specs");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, PasswordGiven) == 20, "password given");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, Password) == 24, "password");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, Test) == 28, "test");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, LiteralNames) == 32, "literal names");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, Always40) == 40, "on");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, DirNames) == 56, "dir names");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, Overwrite) == 60, "overwrite");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, SpecCount) == 64, "spec count");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, ArchiveName) == 68, "archive name");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, FileRecords) == 72, "file records");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParams, Mark) == 144, "mark");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParamsOld, Mark) == 72, "old mark");
ZIPLIB_STATIC_ASSERT(offsetof(UnzExecParamsOld, Specs) == 76, "old specs");
ZIPLIB_STATIC_ASSERT(offsetof(ZipCallbackRecord, Caller) == 4, "callback caller");
ZIPLIB_STATIC_ASSERT(offsetof(ZipCallbackRecord, ActionCode) == 16, "action code");
ZIPLIB_STATIC_ASSERT(offsetof(ZipCallbackRecord, ErrorCode) == 20, "error code");
ZIPLIB_STATIC_ASSERT(offsetof(ZipCallbackRecord, Size) == 24, "size");
ZIPLIB_STATIC_ASSERT(offsetof(ZipCallbackRecord, Text) == 28, "text");
#endif

#endif /* KELVORY_ZIPLIB_ABI_H */
