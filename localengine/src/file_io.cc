#include "file_io.h"

namespace localengine {

bool File::readExact(uint64_t offset, void* buf, size_t n) const {
    size_t got = 0;
    return readAt(offset, buf, n, &got) && got == n;
}

}  // namespace localengine
