#include "graphics/codec/ZEMCodecReader.h"

#include <zem/stream/ZEMResFile.h>

#include <algorithm>
#include <cstring>

namespace ZEM {
namespace Codec {

Reader::~Reader() {
    if (pos_ < end_) file_.Seek(-int(end_ - pos_), 1);
}

bool Reader::Fill() {
    pos_ = 0;
    end_ = file_.Read(buffer_, BUFFER_SIZE);
    return end_ > 0;
}

uint8_t Reader::Refill() {
    if (!Fill()) {
        short_ = true;
        return 0;
    }
    return buffer_[pos_++];
}

unsigned Reader::Read(uint8_t* to, unsigned n) {
    unsigned done = 0;
    while (done < n) {
        if (pos_ == end_ && !Fill()) {
            short_ = true;
            break;
        }
        unsigned part = std::min(n - done, end_ - pos_);
        std::memcpy(to + done, buffer_ + pos_, part);
        pos_ += part;
        done += part;
    }
    return done;
}

uint64_t BytesLeft(ZEMResFile& file) {
    const unsigned pos = file.GetPos();
    file.SeekEnd();
    const unsigned end = file.GetPos();
    file.Seek(int(pos), 0);
    return end > pos ? end - pos : 0;
}

} // namespace Codec
} // namespace ZEM
