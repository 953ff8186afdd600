// A program that starts with standard input, output or error closed must
// not have its data file or journal put there: what it writes to the stream
// would land in the data.
#include <fcntl.h>
#include <unistd.h>

#include "support.h"

namespace behaviour {
namespace {

TEST_F(BehaviourTest, FilesNeverTakeTheStandardDescriptors) {
    MakeFile(EngineFile(), path("data.dat"), {RecordBytes(0, 40), RecordBytes(1, 40)});
    for (int closed : {0, 1, 2}) {
        SCOPED_TRACE(closed);
        int saved = dup(closed);
        ASSERT_GE(saved, 0);
        ASSERT_EQ(close(closed), 0);
        EngineFile file;
        int opened = file.open(path("data.dat"));
        // Update goes through the journal when the bytes change.
        Bytes changed = RecordBytes(7, 40);
        int stepped = file.step(localengine::kOpStepFirst, 100).status;
        int updated = file.update(changed);
        bool stillClosed = fcntl(closed, F_GETFD) == -1;
        int closedStatus = file.close();
        ASSERT_EQ(dup2(saved, closed), closed);
        close(saved);
        EXPECT_EQ(opened, localengine::kOk);
        EXPECT_EQ(stepped, localengine::kOk);
        EXPECT_EQ(updated, localengine::kOk);
        EXPECT_EQ(closedStatus, localengine::kOk);
        EXPECT_TRUE(stillClosed) << "the engine kept a file on descriptor " << closed;
    }
    EXPECT_EQ(walkFile(path("data.dat")).records[0], RecordBytes(7, 40));
}

}  // namespace
}  // namespace behaviour
