#ifndef ZEM_RESOURCE_ZEMRESOURCE_H
#define ZEM_RESOURCE_ZEMRESOURCE_H

#include <zem/core/ZEMExport.h>

class ZEMResFile;

// Base of every object the resource manager loads, caches and shares (images, palettes, fonts,
// string arrays): it reads itself from any stream and writes itself to one.
class ZEM_API ZEMResource {
public:
    ZEMResource() = default;
    virtual ~ZEMResource();

    // Bytes held by the object together with the data it owns.
    virtual unsigned MemoryUsed() const = 0;
    // Replaces the content with what the stream holds from its current position; the meaning of
    // format belongs to the subclass. False when the stream is not open or cannot be read.
    virtual bool Load(ZEMResFile& file, int format) = 0;
    // Writes the object to the stream in the given format.
    virtual bool Save(ZEMResFile& file, int format) = 0;
    // Load from the disk file name.
    virtual bool LoadName(const char* name, int format);
    // Save to the disk file name through ZEMSaveFile: the new content replaces the file whole
    // (a link at the name leads to it, its permissions stay). When the object cannot be saved or
    // written, an existing file keeps its old content and a missing one is not created; a write
    // failure is logged with its cause.
    virtual bool SaveName(const char* name, int format);
};

#endif
