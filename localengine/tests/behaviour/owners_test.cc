// Owners, file-level statuses and requests with garbage arguments.
#include <cstring>

#include "support.h"

namespace behaviour {
namespace {

using namespace localengine;

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

Bytes sequence(uint32_t n) {
    Bytes b(n);
    for (uint32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 3);  // starts with a zero byte
    return b;
}

struct OwnerCase {
    BEHAVIOUR_CASE_NAMED(OwnerCase)
    const char* name;
    Bytes created;  // owner at Create (empty: none)
    Bytes opened;   // owner at Open
    int status;
};

class Owners : public BehaviourTest, public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(Owners, OpenNeedsExactlyTheCreatorsOwner) {
    const OwnerCase& c = GetParam();
    MakeFile(EngineFile(), path("f"), {RecordBytes(0, 12)}, c.created);
    EngineFile file;
    EXPECT_EQ(file.open(path("f"), c.opened), c.status);
    const Reply reply = file.step(kOpStepFirst, 100);
    if (c.status == kOk) {
        EXPECT_EQ(reply.data, RecordBytes(0, 12));
    } else {
        EXPECT_NE(reply.status, kOk) << "a refused open left a usable position block";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Owners,
    ::testing::Values(OwnerCase{"NoneOpensWithNone", {}, {}, kOk},
                      OwnerCase{"NoneOpensWithText", {}, text("anything"), kOk},
                      OwnerCase{"NoneOpensWith66Bytes", {}, sequence(66), kOk},
                      OwnerCase{"TextSame", text("secret"), text("secret"), kOk},
                      OwnerCase{"TextMissing", text("secret"), {}, kOwnerError},
                      OwnerCase{"TextOtherCase", text("secret"), text("Secret"), kOwnerError},
                      OwnerCase{"TextPrefix", text("secret"), text("secre"), kOwnerError},
                      OwnerCase{"TextLonger", text("secret"), text("secrets"), kOwnerError},
                      OwnerCase{"ZerosSame", Bytes{0, 0xab, 0}, Bytes{0, 0xab, 0}, kOk},
                      OwnerCase{"ZerosCut", Bytes{0, 0xab, 0}, Bytes{0, 0xab}, kOwnerError},
                      OwnerCase{"ZerosExtended", Bytes{0, 0xab, 0}, Bytes{0, 0xab, 0, 0}, kOwnerError},
                      OwnerCase{"ZerosOther", Bytes{0, 0xab, 0}, Bytes{0, 0xac, 0}, kOwnerError},
                      OwnerCase{"Only0", Bytes{0}, Bytes{0}, kOk},
                      OwnerCase{"Only0Missing", Bytes{0}, {}, kOwnerError},
                      OwnerCase{"Max66Same", sequence(66), sequence(66), kOk},
                      OwnerCase{"Max66Prefix", sequence(66), sequence(65), kOwnerError},
                      OwnerCase{"Max66LastByte", sequence(66), [] { Bytes b = sequence(66); b[65] ^= 1; return b; }(),
                                kOwnerError}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BehaviourTest, FileLevelStatuses) {
    EngineFile file;
    EXPECT_EQ(file.open(path("missing")), kFileNotFound);
    ASSERT_EQ(EngineFile::create(path("f")), kOk);
    EXPECT_EQ(EngineFile::create(path("f")), kFileExists);
    EXPECT_NE(EngineFile::create(path("g"), sequence(kMaxOwnerLen + 1)), kOk) << "owner of 67 bytes";
    EXPECT_EQ(file.open(path("f")), kOk);
    EXPECT_EQ(file.step(kOpStepFirst, 100).status, kEndOfFile) << "a new file is empty";
}

// Garbage where the engine expects its own data: a status, never a crash.
TEST_F(BehaviourTest, GarbageArgumentsGiveAStatus) {
    MakeFile(EngineFile(), path("f"), {RecordBytes(0, 12)});
    uint8_t zeros[kPosBlockSize] = {};
    uint8_t noise[kPosBlockSize];
    for (uint32_t i = 0; i < kPosBlockSize; ++i) noise[i] = static_cast<uint8_t>(i * 97 + 13);
    uint8_t buffer[256] = {};
    uint32_t length = sizeof buffer;

    struct Garbage {
        const char* what;
        uint16_t op;
        void* posBlock;
        void* data;
        uint32_t* length;
        void* key;
    };
    char missing[] = "no/such/dir/file";
    const std::vector<Garbage> cases = {
        {"step with zeroed block", kOpStepFirst, zeros, buffer, &length, nullptr},
        {"step with noise block", kOpStepNext, noise, buffer, &length, nullptr},
        {"step with null block", kOpStepFirst, nullptr, buffer, &length, nullptr},
        {"insert with noise block", kOpInsert, noise, buffer, &length, nullptr},
        {"update with noise block", kOpUpdate, noise, buffer, &length, nullptr},
        {"close with noise block", kOpClose, noise, buffer, &length, nullptr},
        {"check with zeroed block", kOpCheck, zeros, buffer, &length, nullptr},
        {"position with noise block", kOpGetPosition, noise, buffer, &length, nullptr},
        {"chunk with noise block", kOpGetDirectChunk, noise, buffer, &length, nullptr},
        {"open with null path", kOpOpen, zeros, nullptr, &length, nullptr},
        {"create with null path", kOpCreate, zeros, nullptr, &length, nullptr},
        {"open under a missing folder", kOpOpen, zeros, nullptr, &length, missing},
        {"version with null length", kOpVersion, zeros, buffer, nullptr, nullptr},
        {"version with null buffer", kOpVersion, zeros, nullptr, &length, nullptr},
        {"unknown operation 7", 7, zeros, buffer, &length, nullptr},
        {"unknown operation 65535", 65535, zeros, buffer, &length, nullptr},
    };
    for (const Garbage& g : cases) {
        for (Entry entry : {Entry::kStandard, Entry::kExtended}) {
            length = g.op == kOpOpen || g.op == kOpCreate ? 0 : sizeof buffer;
            EXPECT_NE(call(entry, g.op, g.posBlock, g.data, g.length, g.key, g.key ? 17 : 0, 0), kOk) << g.what;
        }
    }
    length = 0;
    EXPECT_EQ(call(Entry::kExtended, 7, zeros, buffer, &length), kInvalidOp);

    // Requests on an open file with null buffers or lengths.
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    length = 100;
    EXPECT_NE(call(Entry::kExtended, kOpStepFirst, file.posBlock(), nullptr, &length), kOk);
    EXPECT_NE(call(Entry::kExtended, kOpStepFirst, file.posBlock(), buffer, nullptr), kOk);
    length = 10;
    EXPECT_NE(call(Entry::kExtended, kOpInsert, file.posBlock(), nullptr, &length), kOk);
    EXPECT_NE(call(Entry::kExtended, kOpGetDirectChunk, file.posBlock(), nullptr, &length, nullptr, 0, -2), kOk);
    EXPECT_EQ(file.check(), kOk);
    EXPECT_EQ(file.step(kOpStepFirst, 100).data, RecordBytes(0, 12)) << "the file survived the garbage";
}

}  // namespace
}  // namespace behaviour
