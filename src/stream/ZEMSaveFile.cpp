#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMSaveFile.h>

#include "platform/ZEMPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

namespace {

// Bytes gathered before they are written: writers put a few bytes at a time.
constexpr unsigned BUFFER_SIZE = 64 * 1024;

} // namespace

struct ZEMSaveFile::Target {
    ZEM::Platform::Folder folder; // the target's folder
    ZEM::Platform::File file;     // the temporary file in it
    std::string name;             // the target's name in folder
    bool replace = false;
};

ZEMSaveFile::ZEMSaveFile(const char* fileName, bool replace) {
    Open(fileName, replace);
}

ZEMSaveFile::~ZEMSaveFile() {
    ZEMSaveFile::Close();
}

bool ZEMSaveFile::Fail(const std::string& why) {
    lastError = why;
    if (state == ST_OK) state = target ? ST_WRITE_END : ST_OPEN_ERROR;
    ZEM::LOG("File: cannot write '%s': %s\n", Printable(name), why.c_str());
    return false;
}

bool ZEMSaveFile::FailSystem(int error) {
    return Fail(ZEM::Platform::ErrorText(error ? error : EIO));
}

bool ZEMSaveFile::Open(const char* fileName, bool replace) {
    Close();
    lastError.clear();
    name = CopyName(fileName ? fileName : "");
    state = ST_OK;
    if (!fileName || !*fileName) return Fail("no file name");
    // A link at the name is followed, as a write in place would: the file it leads to is
    // replaced and the link stays. A name that leads nowhere is the name itself.
    const std::string resolved = ZEM::Platform::ResolvedPath(fileName);
    const std::string path = resolved.empty() ? ZEM::Platform::NativePath(fileName) : resolved;
    ZEM::Platform::FileStatus status;
    if (!resolved.empty() && ZEM::Platform::Status(path.c_str(), status)) {
        const uint32_t type = status.mode & ZEM::Platform::MODE_TYPE_MASK;
        if (type == ZEM::Platform::MODE_DIRECTORY) return FailSystem(EISDIR);
        if (type != ZEM::Platform::MODE_REGULAR) return Fail("not a regular file");
        if (!replace) return FailSystem(EEXIST);
        // A file made read-only stays as it is, as when it was written in place.
        if (!ZEM::Platform::MayWriteFile(path.c_str())) return FailSystem(errno);
    }
    std::unique_ptr<Target> made(new (std::nothrow) Target);
    buffer.reset(new (std::nothrow) char[BUFFER_SIZE]);
    if (!made || !buffer) return Fail("out of memory");
    made->replace = replace;
    if (!made->folder.OpenParentOf(path.c_str(), made->name)) {
        return FailSystem(made->folder.Error());
    }
    if (!made->file.CreateTemp(made->folder)) return FailSystem(made->file.Error());
    target = std::move(made);
    mode = WRITE;
    eof = false;
    used = 0;
    bufferStart = 0;
    end = 0;
    return true;
}

bool ZEMSaveFile::WriteOut() {
    if (used == 0) return true;
    if (!target->file.WriteAt(bufferStart, buffer.get(), used)) {
        return FailSystem(target->file.Error());
    }
    bufferStart += used;
    used = 0;
    return true;
}

bool ZEMSaveFile::Commit() {
    if (!target) {
        if (lastError.empty()) lastError = "the file is not open";
        return false;
    }
    bool done = lastError.empty() && (state == ST_OK || Fail("a seek failed")) && WriteOut();
    Target& t = *target;
    if (done && !(t.file.TakeModeOf(t.folder, t.name.c_str()) && t.file.Sync() &&
                  t.file.Publish(t.folder, t.name.c_str(), t.replace))) {
        done = FailSystem(t.file.Error());
    }
    // The file is in place even when its folder cannot be flushed. What killed saves left
    // between naming their temporary file and renaming it goes now.
    if (done) {
        t.folder.Sync();
        t.folder.RemoveDeadTemps();
    }
    Close();
    return done;
}

void ZEMSaveFile::Close() {
    ZEMResFile::Close();
    target.reset();
    buffer.reset();
    used = 0;
}

bool ZEMSaveFile::Seek(int offset, int whence) {
    if (!target || !lastError.empty() || !WriteOut()) return false;
    const uint64_t base = whence == SEEK_CUR ? bufferStart : whence == SEEK_END ? end : 0;
    if (offset < 0 && uint64_t(-int64_t(offset)) > base) {
        state = ST_SEEK_ERROR;
        return false;
    }
    bufferStart = base + int64_t(offset);
    state = ST_OK;
    return true;
}

void ZEMSaveFile::SeekStart() {
    Seek(0, SEEK_SET);
}

void ZEMSaveFile::SeekEnd() {
    Seek(0, SEEK_END);
}

unsigned ZEMSaveFile::GetPos() const {
    return target ? unsigned(bufferStart + used) : 0;
}

void ZEMSaveFile::Flush() {
    if (target) WriteOut();
}

unsigned ZEMSaveFile::GetLine(char*, unsigned, char) {
    return 0;
}

unsigned ZEMSaveFile::GetLine(ZEMString&, unsigned, char) {
    return 0;
}

unsigned ZEMSaveFile::Read(void*, unsigned) {
    return 0;
}

unsigned ZEMSaveFile::Write(const void* data, unsigned size) {
    if (state != ST_OK || !target || !data || size == 0) return 0;
    if (used + uint64_t(size) > BUFFER_SIZE && !WriteOut()) return 0;
    if (size >= BUFFER_SIZE) {
        // A large piece goes straight to the file.
        if (!target->file.WriteAt(bufferStart, data, size)) {
            FailSystem(target->file.Error());
            return 0;
        }
        bufferStart += size;
    } else {
        std::copy_n(static_cast<const char*>(data), size, buffer.get() + used);
        used += size;
    }
    end = std::max(end, bufferStart + used);
    return size;
}

void ZEMSaveFile::PrintInfo() const {
    ZEM::LOG("SaveFile info : %s\nMode  : %d (", Printable(name), mode);
    ZEM::LOG("%s)\nState : %d (", ModeText(mode), state);
    ZEM::LOG("%s)\nError : %s\n", StateText(state), lastError.empty() ? "none" : LastError());
}
