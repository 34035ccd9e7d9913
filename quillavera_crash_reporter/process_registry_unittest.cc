#include "quillavera_crash_reporter/process_registry.h"

#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace {

typedef ProcessRegistry R;

TEST(ProcessRegistryTest, ConnectsNotifyForEveryRoleButMain) {
  ProcessRegistry registry;
  EXPECT_FALSE(registry.AddClient(10, L"main", L"0"));
  EXPECT_TRUE(registry.AddClient(11, L"renderer", L"7"));
  EXPECT_TRUE(registry.AddClient(12, L"", L"0"));  // an empty role is not main
  EXPECT_FALSE(registry.AddClient(13, L"main", L"0"));
  EXPECT_EQ(10u, registry.main_pid());  // the first main stays
  EXPECT_EQ(L"7", registry.TrackId(11));
  EXPECT_EQ(L"", registry.TrackId(99));
  ASSERT_EQ(4u, registry.clients().size());
  EXPECT_EQ(11u, registry.clients()[1].pid);
  EXPECT_EQ(L"renderer", registry.clients()[1].type);
}

// Each row: clients connected in order, then exits in order with the
// expected action and role of each.
struct Exit {
  uint32_t pid;
  R::ExitAction action;
  const wchar_t* type;
};
struct Scenario {
  const char* name;
  std::vector<std::pair<uint32_t, const wchar_t*>> connects;
  std::vector<Exit> exits;
};

TEST(ProcessRegistryTest, ExitScenarios) {
  const Scenario scenarios[] = {
      {"renderer leaves, then main ends the reporter",
       {{1, L"main"}, {2, L"renderer"}},
       {{2, R::EXIT_NOTIFY, L"renderer"}, {1, R::EXIT_END_REPORTER, L"main"}}},
      {"main exits while others remain",
       {{1, L"main"}, {2, L"renderer"}, {3, L"gpu"}},
       {{1, R::EXIT_END_REPORTER, L"main"}}},
      {"second main exits quietly, first main ends",
       {{1, L"main"}, {2, L"main"}, {3, L"renderer"}},
       {{2, R::EXIT_NOTHING, L"main"}, {1, R::EXIT_END_REPORTER, L"main"}}},
      {"last client ends the reporter whatever its role",
       {{5, L"renderer"}, {6, L"gpu"}},
       {{5, R::EXIT_NOTIFY, L"renderer"}, {6, R::EXIT_END_REPORTER, L"gpu"}}},
      {"empty role leaves quietly",
       {{1, L"main"}, {2, L""}, {3, L"renderer"}},
       {{2, R::EXIT_NOTHING, L""}}},
      {"unknown pid with others listed does nothing",
       {{1, L"main"}, {2, L"renderer"}},
       {{9, R::EXIT_NOTHING, L""}, {2, R::EXIT_NOTIFY, L"renderer"}}},
      {"unknown pid with an empty list ends the reporter",
       {},
       {{9, R::EXIT_END_REPORTER, L""}}},
      {"a pid listed twice leaves one entry at a time",
       {{1, L"main"}, {2, L"renderer"}, {2, L"renderer"}},
       {{2, R::EXIT_NOTIFY, L"renderer"}, {2, R::EXIT_NOTIFY, L"renderer"},
        {1, R::EXIT_END_REPORTER, L"main"}}},
  };
  for (const Scenario& s : scenarios) {
    ProcessRegistry registry;
    for (const auto& connect : s.connects)
      registry.AddClient(connect.first, connect.second, L"0");
    for (const Exit& exit : s.exits) {
      std::wstring type = L"stale";
      EXPECT_EQ(exit.action, registry.RemoveClient(exit.pid, &type))
          << s.name << ", pid " << exit.pid;
      EXPECT_EQ(exit.type, type) << s.name << ", pid " << exit.pid;
    }
  }
}

TEST(ProcessRegistryTest, ClearEmptiesTheListOnly) {
  ProcessRegistry registry;
  registry.AddClient(1, L"main", L"0");
  registry.AddClient(2, L"renderer", L"4");
  registry.Clear();
  EXPECT_TRUE(registry.clients().empty());
  EXPECT_EQ(1u, registry.main_pid());
  EXPECT_EQ(L"4", registry.TrackId(2));
}

// Hooks of many clients at once must neither lose nor duplicate entries.
TEST(ProcessRegistryTest, ConcurrentConnectsAndExits) {
  ProcessRegistry registry;
  registry.AddClient(1, L"main", L"0");
  const int kThreads = 8, kPerThread = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&registry, t] {
      for (int i = 0; i < kPerThread; ++i) {
        const uint32_t pid = 1000 + t * kPerThread + i;
        registry.AddClient(pid, L"renderer", std::to_wstring(pid));
        if (i % 2) {
          std::wstring type;
          registry.RemoveClient(pid, &type);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(1u + kThreads * kPerThread / 2, registry.clients().size());
  EXPECT_EQ(L"1000", registry.TrackId(1000));
}

TEST(ProcessRegistryTest, ProcessWideRegistryClears) {
  GetProcessRegistry().AddClient(77, L"renderer", L"1");
  ClearClientProcessList();
  EXPECT_TRUE(GetProcessRegistry().clients().empty());
}

}  // namespace
