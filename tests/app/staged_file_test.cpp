// Staged replacement on its own, over the in-memory host: a new copy that is given up leaves
// nothing behind, even when its first removal fails.
#include <gtest/gtest.h>

#include "app/staged_file.h"
#include "support/memory_host.h"
#include "support/reset_state.h"

namespace {

class StagedFileTest : public testing::Test {
 protected:
  void SetUp() override { memory_host::install(); }
  void TearDown() override { reset_process_state(); }
};

TEST_F(StagedFileTest, DiscardRemovesTheNewCopyThoughOneRemovalFails) {
  memory_host::put("G:\\Velmor.EXE", {1, 2, 3});
  for (int failing : {0, 1}) {
    SCOPED_TRACE(failing);
    StagedFile file;
    ASSERT_EQ(StagedFileBegin(&file, "G:\\Velmor.EXE"), 0);
    memory_host::put(file.staged, {4, 5});
    memory_host::fail_change(failing);
    StagedFileDiscard(&file);
    EXPECT_EQ(memory_host::files().size(), 1u) << "only the old file stays";
    EXPECT_EQ(*memory_host::find("G:\\Velmor.EXE"), (std::vector<uint8_t>{1, 2, 3}));
  }
}

}  // namespace
