#ifndef ZEM_PROVIDER_ZEMFILEUTILS_H
#define ZEM_PROVIDER_ZEMFILEUTILS_H

#include <zem/core/ZEMExport.h>

class ZEMResFile;
class ZEMText;

// File-system helpers over the host's disk: tests, copies, listings, path classification, the
// working directory and the user's folders. Paths may use '/' or '\' as separator; paths that the
// functions build or report use the system's own form. Arrays returned as "new" belong to the
// caller, who releases them with delete[].
class ZEM_API ZEMFileUtils {
public:
    // Flags of GetFileList.
    enum {
        FL_NODIRS = 2,     // leave out directories
        FL_NOFILES = 4,    // leave out everything that is not a directory
        FL_NODOTS = 0x10,  // leave out "." and ".."
        FL_NOHIDDEN = 0x20 // leave out hidden entries (names beginning with '.')
    };

    // Whether a file or directory exists (false for null or "").
    static bool FileExist(const char* path);
    // Whether the path is an existing directory.
    static bool IsDir(const char* path);
    // Whether the path exists and is hidden.
    static bool IsHidden(const char* path);
    // Size in bytes; 0xFFFFFFFF for null, a failed query or a size beyond 32 bits.
    static unsigned FileSize(const char* path);

    // Deletes one file.
    static bool FileRemove(const char* path);
    // Moves or renames; with overwrite an existing file `to` is replaced, and is never lost when
    // the move fails.
    static bool FileRename(const char* from, const char* to, bool overwrite);
    // Copies a file; without overwrite an existing `to` makes it fail. A copy onto itself fails.
    static bool FileCopy(const char* from, const char* to, bool overwrite);
    // Copies up to size bytes from src's position to dst; returns the bytes written.
    static unsigned CopyData(ZEMResFile* src, ZEMResFile* dst, unsigned size);

    // Names in dir matching pattern ('*', '?', case-insensitive), filtered by the FL_ flags, in
    // the system's order, as a new array of new names; returns their number (0: list is null).
    static unsigned GetFileList(char**& list, const char* dir, const char* pattern, unsigned flags);
    // Releases a list from GetFileList and sets it to null.
    static void FreeFileList(char**& list, unsigned count);

    // "X:\", "/" and "\\" are roots.
    static bool IsRoot(const char* path);
    // "X:\...", "/..." and "\..." are absolute.
    static bool IsAbsolute(const char* path);
    // Not absolute.
    static bool IsRelative(const char* path);

    // The working directory into buffer; false when it fails or does not fit in size bytes.
    static bool GetCWD(char* buffer, unsigned size);
    // The working directory as a new array; "" when it fails or is longer than 259 characters.
    static char* GetCWD();
    // Changes the working directory (false for null or "").
    static bool SetCWD(const char* path);
    // Directory of the running program as a new array, without a trailing separator; null on
    // failure or when the program's path is longer than 259 characters.
    static char* GetExeDir();
    // The user's documents and application-data folders (cached; "" when unavailable). The
    // text belongs to the library.
    static const char* GetUserDocDir();
    static const char* GetUserAppDir();
    // A new list of the mount points of the mounted CD/DVD file systems; null when out of memory.
    static ZEMText* GetCDROMDirs();
    // Creates one directory level.
    static bool DirCreate(const char* path);

    // The part of path after its last separator ('/' or '\'); null for null.
    static const char* FileName(const char* path);
    // The part of path after its last '.'; null for null, ".", "..", and names whose only '.'
    // is the first character or that have none.
    static const char* FileExtension(const char* path);

    // Bit mask of the drives (bit 0 = A:); 0 where there are no drives.
    static unsigned DrivesList();
    // Drive type of a root (5 = CD-ROM, 1 = no such root).
    static unsigned DriveType(const char* path);
};

#endif
