// The engine as the program uses it: the per-file request block, the two
// request procedures, and the whole requests made around a scan.
#pragma once

#include <cstdint>

constexpr uint32_t RECORD_BUFFER_SIZE = 258048;
constexpr uint32_t STANDARD_DATA_LEN = 64000;
constexpr int FILE_TABLE_SIZE = 26;
constexpr int DATA_FILE = 1;  // every request goes through file number 1

// Operation codes.
constexpr uint16_t OP_OPEN = 0;
constexpr uint16_t OP_CLOSE = 1;
constexpr uint16_t OP_UPDATE = 3;
constexpr uint16_t OP_GET_POSITION = 22;
constexpr uint16_t OP_GET_DIRECT_CHUNK = 23;
constexpr uint16_t OP_STEP_NEXT = 24;
constexpr uint16_t OP_VERSION = 26;
constexpr uint16_t OP_RESET = 28;
constexpr uint16_t OP_STEP_FIRST = 33;

// Statuses the program treats by number.
constexpr int STATUS_OK = 0;
constexpr int STATUS_CORRUPT = 2;
constexpr int STATUS_END_OF_FILE = 9;
constexpr int STATUS_NOT_LOADED = 20;
constexpr int STATUS_BUFFER_TOO_SHORT = 22;
constexpr int STATUS_NOT_ENGINE_FILE = 30;
constexpr int STATUS_CHUNK_PAST_END = 103;

constexpr uint8_t KEY_BUFFER_LEN = 255;

struct FileBlock {
    uint16_t op;                 // operation code of the next request
    unsigned char posBlock[128]; // filled by Open, carried untouched into later requests
    void* dataBuf;
    uint16_t dataLen;            // buffer size going in, bytes returned coming out
    void* keyBuf;
    int16_t keyNum;              // handed to the engine as one signed byte
    char fileName[128];          // used only in messages
};

extern FileBlock fileTable[FILE_TABLE_SIZE];
extern int extendedMode;  // -1 undecided, 0 standard entry, 1 extended entry
extern char keyScratch[256];

// Status 20 (the engine is not loaded) ends the process with exit code 1
// right after its message. When this is set, it runs first: the run sets it
// once the scan has begun, to report what was scanned. It makes no request.
extern void (*engineNotLoadedReport)();

// One request through the standard entry; the length travels in dataLen.
int CallEngine(FileBlock* block);
// One request through the extended entry; the length travels in *length.
int CallEngineEx(FileBlock* block, uint32_t* length);

int OpenDataFile();
void ProbeEngineVersion();

// One entry of the engine's Version reply.
struct EngineVersionEntry {
    int version;
    int revision;
    char platform;
};
constexpr int VERSION_ENTRIES_MAX = 3;
// What ProbeEngineVersion read, as the request returned it.
constexpr uint16_t VERSION_REPLY_LEN = 15;
struct VersionReply {
    unsigned char bytes[VERSION_REPLY_LEN] = {};
    uint16_t length = 0;
    int status = 0;
};
extern VersionReply versionReply;
// The reply ProbeEngineVersion read: fills `entries` (room for
// VERSION_ENTRIES_MAX) with the entries it held, sets *status to the
// request's status and returns the count; 0 before the probe.
int EngineVersionReply(EngineVersionEntry* entries, int* status);
// Returns the Close request's status: an engine that writes a changed file
// out as it closes it can refuse here.
int CloseDataFiles();
void ResetEngine();
