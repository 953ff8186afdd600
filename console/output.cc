#include "console/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "console/platform.h"

namespace {

constexpr size_t OUTPUT_BUFFER_SIZE = 64 * 1024;

char outputBuffer[OUTPUT_BUFFER_SIZE];
size_t outputLength;
int outputError;    // the first error standard output met; 0 while none
int consoleOutput;  // a console sees each line as it is written
char lastOutputByte = '\n';  // the last byte handed to standard output, or a line end

void SendOutput(const char* bytes, size_t length) {
    if (length == 0) return;
    int error = WriteStandardOutput(bytes, length);
    if (error != 0 && outputError == 0) outputError = error;
}

}  // namespace

void FlushStandardOutput() {
    SendOutput(outputBuffer, outputLength);
    outputLength = 0;
}

void PrepareOutput() {
    int error = PrepareStandardStreams();
    if (error != 0 && outputError == 0) outputError = error;
    consoleOutput = StandardOutputIsConsole();
}

// Every line the program writes is short (the longest field is a path of at
// most 255 characters), so a line always fits an emptied buffer.
void OutputPrintf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    size_t room = OUTPUT_BUFFER_SIZE - outputLength;
    int length = vsnprintf(outputBuffer + outputLength, room, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    if (static_cast<size_t>(length) >= room) {
        // It did not fit behind what is gathered: send that and format again.
        FlushStandardOutput();
        va_start(arguments, format);
        length = vsnprintf(outputBuffer, OUTPUT_BUFFER_SIZE, format, arguments);
        va_end(arguments);
        if (length < 0) return;
        if (static_cast<size_t>(length) >= OUTPUT_BUFFER_SIZE) length = OUTPUT_BUFFER_SIZE - 1;
    }
    outputLength += static_cast<size_t>(length);
    if (length > 0) lastOutputByte = outputBuffer[outputLength - 1];
    if (consoleOutput) FlushStandardOutput();
}

char* OutputRoom(size_t length) {
    if (length > OUTPUT_BUFFER_SIZE - outputLength) FlushStandardOutput();
    return outputBuffer + outputLength;
}

void OutputCommit(size_t length) {
    outputLength += length;
    if (length > 0) lastOutputByte = outputBuffer[outputLength - 1];
    if (consoleOutput) FlushStandardOutput();
}

void OutputEndLine() {
    if (lastOutputByte != '\n') OutputPrintf("\n");
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
    if (outputError == 0) return 0;
    ErrorPrintf("Cannot write to standard output: %s\n", strerror(outputError));
    return 1;
}

int FinishStandardOutput(int exitCode) {
    FlushStandardOutput();
    return exitCode != 0 ? exitCode : RefuseLostOutput();
}
