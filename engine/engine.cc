#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "engine/loader.h"

FileBlock fileTable[FILE_TABLE_SIZE];
int extendedMode = -1;
char keyScratch[256];
void (*engineNotLoadedReport)();
VersionReply versionReply;

namespace {

constexpr int VERSION_ENTRY_LEN = 5;
constexpr int EXTENDED_MIN_VERSION = 13;
constexpr int EXTENDED_MIN_REVISION = 30;

// The Open request's key buffer. It lives as long as the process, so the
// Version request that follows can still pass it, holding the path.
char openKeyBuffer[PATH_MAX_CHARS + 1];

// Copies text, cut to what the destination holds, always zero-terminated.
void CopyText(char* destination, size_t size, const char* text) {
    size_t length = strnlen(text, size - 1);
    memcpy(destination, text, length);
    destination[length] = '\0';
}

void TraceRequest(const FileBlock* block, uint32_t length) {
    if (runOptions.debugLevel == 2) {
        OutputPrintf("Op: %d, Buflen: %d, KeyNum: %d ", static_cast<int>(block->op),
               static_cast<int>(length), static_cast<int>(block->keyNum));
    }
}

// Writes the status on the trace line and the engine's errors in the
// program's words. Status 20 ends the process.
int ApplyStatusPolicy(const FileBlock* block, int status) {
    if (runOptions.debugLevel == 2) OutputPrintf("Status: %d\n", status);
    switch (status) {
        case 0: case 3: case 4: case 5: case STATUS_END_OF_FILE: case 12:
        case STATUS_BUFFER_TOO_SHORT: case STATUS_CHUNK_PAST_END:
            break;
        case STATUS_CORRUPT:
            ErrorPrintf("Data File Corruption (Status 2) Detected!\n");
            break;
        case STATUS_NOT_LOADED:
            ErrorPrintf("Please load the Btrieve Record Manager\n");
            if (engineNotLoadedReport != nullptr) engineNotLoadedReport();
            exit(1);
        case STATUS_NOT_ENGINE_FILE:
            ErrorPrintf("%s: Not a Btrieve File\n", block->fileName);
            break;
        default:
            ErrorPrintf("Btrieve Error %d: Operation=%d, File=%s\n", status,
                        static_cast<int>(block->op), block->fileName);
            break;
    }
    return status;
}

EngineVersionEntry ReadVersionEntry(int index) {
    const unsigned char* entry = versionReply.bytes + index * VERSION_ENTRY_LEN;
    return EngineVersionEntry{entry[0] | entry[1] << 8, entry[2] | entry[3] << 8,
                              static_cast<char>(entry[4])};
}

// The entries a reply of `replyLength` bytes holds, whole or in part.
int VersionEntryCount(uint16_t replyLength) {
    int count = (replyLength + VERSION_ENTRY_LEN - 1) / VERSION_ENTRY_LEN;
    return count < VERSION_ENTRIES_MAX ? count : VERSION_ENTRIES_MAX;
}

void TraceVersionReply(int status, uint16_t replyLength) {
    int count = VersionEntryCount(replyLength);
    for (int index = 0; index < count; ++index) {
        EngineVersionEntry entry = ReadVersionEntry(index);
        if (index == 0) {
            ErrorPrintf("Version Call: Status=%d, %.2d.%.2d(%c)", status, entry.version,
                        entry.revision, entry.platform);
        } else {
            ErrorPrintf(", %.2d.%.2d(%c)", entry.version, entry.revision, entry.platform);
        }
    }
    ErrorPrintf("\n");
}

}  // namespace

int CallEngine(FileBlock* block) {
    TraceRequest(block, block->dataLen);
    uint32_t length = block->dataLen;
    int16_t status = EngineStandardCall(block->op, block->posBlock, block->dataBuf, &length,
                                        block->keyBuf, KEY_BUFFER_LEN,
                                        static_cast<int8_t>(block->keyNum));
    block->dataLen = static_cast<uint16_t>(length);
    return ApplyStatusPolicy(block, status);
}

int CallEngineEx(FileBlock* block, uint32_t* length) {
    TraceRequest(block, *length);
    int status = EngineExtendedCall(block->op, block->posBlock, block->dataBuf, length,
                                    block->keyBuf, KEY_BUFFER_LEN,
                                    static_cast<int8_t>(block->keyNum));
    return ApplyStatusPolicy(block, status);
}

int OpenDataFile() {
    FileBlock* block = &fileTable[DATA_FILE];
    if (runOptions.debugLevel >= 1) OutputPrintf("Opening Files\n");
    CopyText(openKeyBuffer, sizeof openKeyBuffer, runOptions.path);
    CopyText(block->fileName, sizeof block->fileName, runOptions.path);
    memcpy(recordBuffer, runOptions.ownerBytes, static_cast<size_t>(runOptions.ownerLen) + 1);
    block->dataLen = static_cast<uint16_t>(runOptions.ownerLen);
    block->dataBuf = recordBuffer;
    block->keyBuf = openKeyBuffer;
    block->keyNum = 0;
    block->op = OP_OPEN;
    int status = CallEngine(block);
    if (runOptions.debugLevel >= 1) OutputPrintf("Data Files Opened: %d\n", status);
    return status;
}

void ProbeEngineVersion() {
    FileBlock* block = &fileTable[DATA_FILE];
    versionReply = VersionReply{};
    block->dataBuf = versionReply.bytes;
    block->dataLen = VERSION_REPLY_LEN;
    block->keyNum = 0;
    block->op = OP_VERSION;
    int status = CallEngine(block);
    versionReply.status = status;
    versionReply.length = block->dataLen;
    if (runOptions.debugLevel >= 1) TraceVersionReply(status, block->dataLen);
    EngineVersionEntry first = ReadVersionEntry(0);
    bool extended = first.version > EXTENDED_MIN_VERSION ||
                    (first.version == EXTENDED_MIN_VERSION &&
                     first.revision >= EXTENDED_MIN_REVISION);
    extendedMode = extended ? 1 : 0;
    if (runOptions.debugLevel >= 1) {
        ErrorPrintf("BtrvEx IS %savailable!\n", extendedMode == 1 ? "" : "NOT ");
    }
}

int EngineVersionReply(EngineVersionEntry* entries, int* status) {
    *status = versionReply.status;
    int count = VersionEntryCount(versionReply.length);
    for (int index = 0; index < count; ++index) entries[index] = ReadVersionEntry(index);
    return count;
}

int CloseDataFiles() {
    FileBlock* block = &fileTable[DATA_FILE];
    if (runOptions.debugLevel >= 1) OutputPrintf("Closing Files\n");
    block->op = OP_CLOSE;
    int status = CallEngine(block);
    if (runOptions.debugLevel >= 1) OutputPrintf("Data Files Closed\n");
    return status;
}

void ResetEngine() {
    FileBlock* block = &fileTable[DATA_FILE];
    block->keyNum = 0;
    block->keyBuf = nullptr;
    block->op = OP_RESET;
    CallEngine(block);
}
