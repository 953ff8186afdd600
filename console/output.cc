#include "console/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "console/platform.h"

OutputState output;

namespace {

void SendOutput(const char* bytes, size_t length) {
    if (length == 0) return;
    int error = WriteStandardOutput(bytes, length);
    if (error != 0 && output.error == 0) output.error = error;
}

}  // namespace

void FlushStandardOutput() {
    SendOutput(output.buffer, output.length);
    output.length = 0;
}

void PrepareOutput() {
    int error = PrepareStandardStreams();
    if (error != 0 && output.error == 0) output.error = error;
    output.console = StandardOutputIsConsole();
}

// Every line the program writes is short (the longest field is a path of at
// most 255 characters), so a line always fits an emptied buffer.
void OutputPrintf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    size_t room = OUTPUT_BUFFER_SIZE - output.length;
    int length = vsnprintf(output.buffer + output.length, room, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    if (static_cast<size_t>(length) >= room) {
        // It did not fit behind what is gathered: send that and format again.
        FlushStandardOutput();
        va_start(arguments, format);
        length = vsnprintf(output.buffer, OUTPUT_BUFFER_SIZE, format, arguments);
        va_end(arguments);
        if (length < 0) return;
        if (static_cast<size_t>(length) >= OUTPUT_BUFFER_SIZE) length = OUTPUT_BUFFER_SIZE - 1;
    }
    output.length += static_cast<size_t>(length);
    if (length > 0) output.lastByte = output.buffer[output.length - 1];
    if (output.console) FlushStandardOutput();
}

char* OutputRoom(size_t length) {
    if (length > OUTPUT_BUFFER_SIZE - output.length) FlushStandardOutput();
    return output.buffer + output.length;
}

void OutputCommit(size_t length) {
    output.length += length;
    if (length > 0) output.lastByte = output.buffer[output.length - 1];
    if (output.console) FlushStandardOutput();
}

void OutputEndLine() {
    if (output.lastByte != '\n') OutputPrintf("\n");
}

void ErrorPrintf(const char* format, ...) {
    FlushStandardOutput();
    // Standard error is unbuffered: the message goes out with one write
    // (some C libraries would write an unbuffered stream piece by piece).
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<size_t>(length) < sizeof message) {
        fwrite(message, 1, static_cast<size_t>(length), stderr);
        return;
    }
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
}

int RefuseLostOutput() {
    FlushStandardOutput();
    if (output.error == 0) return 0;
    ErrorPrintf("Cannot write to standard output: %s\n", strerror(output.error));
    return 1;
}

int FinishStandardOutput(int exitCode) {
    FlushStandardOutput();
    return exitCode != 0 ? exitCode : RefuseLostOutput();
}
