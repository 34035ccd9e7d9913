#include "base/shared_memory.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "testing/test_support/program_beside.h"
#include "testing/test_support/run_and_capture.h"

namespace base {
namespace {

// A section name no other test uses.
std::string UniqueName(const char* tag) {
  return std::string("qv_shared_memory_test_") + tag + "_" +
         std::to_string(GetCurrentProcessId());
}


// Runs the separately written probe on |name| and collects what it prints.
test_support::CapturedRun RunMappingProbe(const std::string& name) {
  return test_support::RunAndCapture(
      L"\"" + ProgramBesideThisOne(L"ipc_mapping_probe.exe") + L"\" " +
          std::wstring(name.begin(), name.end()),
      false);
}

TEST(SharedMemoryTest, AnotherProcessReadsTheNamedSection) {
  const std::string name = UniqueName("probe");
  const std::string text = "{\"data\":\"\xC3\xA9 text\",\"id\":7}";
  SharedMemory memory;
  ASSERT_TRUE(memory.CreateNamed(name, false, text.size() + 1));
  ASSERT_TRUE(memory.Map(text.size() + 1));
  std::memcpy(memory.memory(), text.c_str(), text.size() + 1);

  test_support::CapturedRun probe = RunMappingProbe(name);
  EXPECT_EQ(0u, probe.exit_code);
  EXPECT_EQ(text, probe.output);

  // Once closed the section is gone.
  memory.Close();
  EXPECT_EQ(2u, RunMappingProbe(name).exit_code);
}

TEST(SharedMemoryTest, SizeLimitsAndRounding) {
  SharedMemory memory;
  EXPECT_FALSE(memory.CreateAnonymous(0));
  EXPECT_FALSE(memory.CreateAnonymous(SharedMemory::kMaxSectionSize + 1));
  EXPECT_EQ(nullptr, memory.handle());

  ASSERT_TRUE(memory.CreateAnonymous(1));
  EXPECT_EQ(1u, memory.requested_size());
  ASSERT_TRUE(memory.Map(0));
  EXPECT_EQ(65536u, memory.mapped_size());

  SharedMemory largest;
  EXPECT_TRUE(largest.CreateAnonymous(SharedMemory::kMaxSectionSize));
  EXPECT_EQ(SharedMemory::kMaxSectionSize, largest.requested_size());
  EXPECT_FALSE(largest.MapAt(0, SharedMemory::kMaxViewSize + 1));
}

TEST(SharedMemoryTest, CreateOfAnExistingName) {
  const std::string name = UniqueName("existing");
  SharedMemory first;
  ASSERT_TRUE(first.CreateNamed(name, false, 4096));
  ASSERT_TRUE(first.Map(4096));
  std::strcpy(static_cast<char*>(first.memory()), "first");
  EXPECT_EQ(4096u, first.requested_size());

  SharedMemory refused;
  EXPECT_FALSE(refused.CreateNamed(name, false, 4096));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(nullptr, refused.handle());

  SharedMemory reused;
  ASSERT_TRUE(reused.CreateNamed(name, true, 4096));
  EXPECT_EQ(0u, reused.requested_size());
  ASSERT_TRUE(reused.Map(0));
  EXPECT_STREQ("first", static_cast<const char*>(reused.memory()));
}

TEST(SharedMemoryTest, OpenMapAndUnmap) {
  const std::string name = UniqueName("open");
  SharedMemory missing;
  EXPECT_FALSE(missing.Open(name, true));
  EXPECT_FALSE(missing.Map(16));

  SharedMemory owner;
  ASSERT_TRUE(owner.CreateNamed(name, false, 16));
  ASSERT_TRUE(owner.Map(16));
  std::strcpy(static_cast<char*>(owner.memory()), "written");

  SharedMemory reader;
  ASSERT_TRUE(reader.Open(name, true));
  ASSERT_TRUE(reader.Map(0));
  EXPECT_STREQ("written", static_cast<const char*>(reader.memory()));
  EXPECT_GE(reader.mapped_size(), 16u);
  EXPECT_TRUE(reader.Unmap());
  EXPECT_FALSE(reader.Unmap());
  EXPECT_EQ(nullptr, reader.memory());
}

TEST(SharedMemoryTest, CreateAndMapAnonymous) {
  SharedMemory memory;
  ASSERT_TRUE(memory.CreateAndMapAnonymous(100));
  ASSERT_NE(nullptr, memory.memory());
  std::memset(memory.memory(), 0xAB, 100);
  EXPECT_GE(memory.mapped_size(), 100u);
}

TEST(SharedMemoryTest, NamedLockIsTheSectionNamePlusLock) {
  const std::string name = UniqueName("lock");
  SharedMemory memory;
  ASSERT_TRUE(memory.CreateNamed(name, false, 16));
  memory.Lock();
  std::wstring lock_name(name.begin(), name.end());
  lock_name += L"lock";
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, lock_name.c_str());
  ASSERT_NE(nullptr, mutex);
  CloseHandle(mutex);

  // Another object of the same name waits on the same mutex.
  bool acquired_while_held = true;
  std::thread([&] {
    SharedMemory other;
    ASSERT_TRUE(other.Open(name, false));
    acquired_while_held = other.Lock(50, nullptr);
  }).join();
  EXPECT_FALSE(acquired_while_held);

  memory.Unlock();
  bool acquired_after_release = false;
  std::thread([&] {
    SharedMemory other;
    ASSERT_TRUE(other.Open(name, false));
    acquired_after_release = other.Lock(1000, nullptr);
    other.Unlock();
  }).join();
  EXPECT_TRUE(acquired_after_release);
}

TEST(SharedMemoryTest, AnonymousSectionsHaveTheirOwnUnnamedLocks) {
  SharedMemory first;
  ASSERT_TRUE(first.CreateAnonymous(16));
  first.Lock();
  // A session-wide "lock" mutex would be held by this thread now.
  HANDLE shared = OpenMutexW(SYNCHRONIZE, FALSE, L"lock");
  EXPECT_EQ(nullptr, shared);
  if (shared) CloseHandle(shared);

  bool second_acquired = false;
  std::thread([&] {
    SharedMemory second;
    ASSERT_TRUE(second.CreateAnonymous(16));
    second_acquired = second.Lock(100, nullptr);
    second.Unlock();
  }).join();
  EXPECT_TRUE(second_acquired);
  first.Unlock();
}

TEST(SharedMemoryTest, SharingHandles) {
  const std::string name = UniqueName("share");
  SharedMemory owner;
  ASSERT_TRUE(owner.CreateNamed(name, false, 16));
  ASSERT_TRUE(owner.Map(16));
  std::strcpy(static_cast<char*>(owner.memory()), "shared");

  // A read-only object hands out a read-only handle.
  SharedMemory read_only;
  ASSERT_TRUE(read_only.Open(name, true));
  SharedMemoryHandle read_handle = nullptr;
  ASSERT_TRUE(read_only.ShareToProcess(GetCurrentProcess(), &read_handle));
  EXPECT_NE(nullptr, read_only.handle());
  void* writable_view = MapViewOfFile(read_handle, FILE_MAP_WRITE, 0, 0, 0);
  EXPECT_EQ(nullptr, writable_view);
  if (writable_view) UnmapViewOfFile(writable_view);
  SharedMemory from_read_handle(read_handle, true);
  ASSERT_TRUE(from_read_handle.Map(0));
  EXPECT_STREQ("shared", static_cast<const char*>(from_read_handle.memory()));

  // Duplicated in at construction, writable.
  SharedMemory duplicated(owner.handle(), false, GetCurrentProcess());
  ASSERT_NE(nullptr, duplicated.handle());
  EXPECT_NE(owner.handle(), duplicated.handle());
  ASSERT_TRUE(duplicated.Map(16));
  std::strcpy(static_cast<char*>(duplicated.memory()), "changed");
  EXPECT_STREQ("changed", static_cast<const char*>(owner.memory()));

  // Giving to this process hands over the very handle.
  HANDLE own_handle = duplicated.handle();
  SharedMemoryHandle given = nullptr;
  ASSERT_TRUE(duplicated.GiveToProcess(GetCurrentProcess(), &given));
  EXPECT_EQ(own_handle, given);
  EXPECT_EQ(nullptr, duplicated.handle());
  EXPECT_EQ(nullptr, duplicated.memory());
  SharedMemory::CloseHandle(given);

  EXPECT_FALSE(SharedMemory::IsHandleValid(SharedMemory::NULLHandle()));
  EXPECT_EQ(0x800000u, SharedMemory::GetHandleLimit());
}

}  // namespace
}  // namespace base
