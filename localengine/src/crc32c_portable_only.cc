// Processors other than x86: the portable form serves every run.
#include "crc32c_forms.h"

namespace localengine {

Crc32cCopyForm crc32cFastForm() { return nullptr; }

}  // namespace localengine
