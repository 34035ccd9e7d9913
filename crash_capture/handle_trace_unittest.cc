#include "crash_capture/handle_trace.h"

#include <gtest/gtest.h>

#include <cstring>

namespace crash_capture {
namespace {

AVRF_HANDLE_OPERATION Operation(uint64_t handle, ULONG type, ULONG thread) {
  AVRF_HANDLE_OPERATION operation = {};
  operation.Handle = handle;
  operation.OperationType = type;
  operation.ThreadId = thread;
  return operation;
}

constexpr ULONG kOpen = 1;
constexpr ULONG kClose = 2;

TEST(HandleTraceTest, NoBadReferenceMeansNoList) {
  EXPECT_TRUE(BuildHandleOperationList({}).empty());
  EXPECT_TRUE(BuildHandleOperationList(
                  {Operation(0x40, kOpen, 1), Operation(0x40, kClose, 1)})
                  .empty());
}

TEST(HandleTraceTest, KeepsTheOperationsOnTheLastBadHandle) {
  const std::vector<AVRF_HANDLE_OPERATION> operations = {
      Operation(0x40, kOpen, 1),
      Operation(0x44, kOpen, 2),
      Operation(0x40, kHandleOperationBadRef, 3),
      Operation(0x40, kClose, 4),
      Operation(0x44, kHandleOperationBadRef, 5),
      Operation(0x48, kOpen, 6),
  };
  const std::vector<uint8_t> list = BuildHandleOperationList(operations);
  ASSERT_EQ(list.size(), 16u + 2 * 288u);
  uint32_t header[4];
  memcpy(header, list.data(), sizeof(header));
  EXPECT_EQ(header[0], 16u);
  EXPECT_EQ(header[1], 288u);
  EXPECT_EQ(header[2], 2u);
  EXPECT_EQ(header[3], 0u);
  AVRF_HANDLE_OPERATION kept[2];
  memcpy(kept, list.data() + 16, sizeof(kept));
  EXPECT_EQ(kept[0].ThreadId, 2u);
  EXPECT_EQ(kept[1].ThreadId, 5u);
  EXPECT_EQ(kept[1].Handle, 0x44u);
}

}  // namespace
}  // namespace crash_capture
