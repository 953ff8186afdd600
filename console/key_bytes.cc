#include "console/keyboard.h"

namespace {

int TakeByte(int* held, int (*nextByte)()) {
    int byte = *held;
    if (byte < 0) return nextByte();
    *held = -1;
    return byte;
}

// Parameters and intermediates (0x20 to 0x3F) continue a sequence, a final
// byte (0x40 to 0x7E) ends it; any other byte is a key of its own.
int ConsumeSequence(int* held, int (*nextByte)()) {
    for (;;) {
        int byte = nextByte();
        if (byte < 0 || (byte >= 0x40 && byte <= 0x7E)) return NOT_A_KEY;
        if (byte < 0x20 || byte > 0x3F) {
            *held = byte;
            return NOT_A_KEY;
        }
    }
}

}  // namespace

int NextKey(int* held, int (*nextByte)()) {
    int code = TakeByte(held, nextByte);
    if (code != ESC_KEY) return code < 0 ? NOT_A_KEY : code;
    int next = nextByte();
    if (next == '[' || next == 'O') return ConsumeSequence(held, nextByte);
    *held = next;
    return ESC_KEY;
}
