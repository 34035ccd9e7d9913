#include "quillavera_crash_reporter/process_registry.h"

#include <vector>

#include "gtest/gtest.h"

namespace {



TEST(ProcessRegistryTest, ConnectsNotifyForEveryRoleButMain) {
  ReporterState state;
  EXPECT_FALSE(RegisterClientProcess(&state, 10, L"main", L"0"));
  EXPECT_TRUE(RegisterClientProcess(&state, 11, L"renderer", L"7"));
  // An empty role is not "main".
  EXPECT_TRUE(RegisterClientProcess(&state, 12, L"", L"0"));
  EXPECT_FALSE(RegisterClientProcess(&state, 13, L"main", L"0"));
  EXPECT_EQ(10u, state.main_pid);  // the first main stays
  EXPECT_EQ(L"7", state.track_ids[11]);
  ASSERT_EQ(4u, state.client_processes.size());
  EXPECT_EQ(11u, state.client_processes[1].pid);
  EXPECT_EQ(L"renderer", state.client_processes[1].type);
  // A reconnecting pid is listed again and its track id overwritten.
  EXPECT_TRUE(RegisterClientProcess(&state, 11, L"renderer", L"8"));
  EXPECT_EQ(5u, state.client_processes.size());
  EXPECT_EQ(L"8", state.track_ids[11]);
}

// Each row: clients connected in order, then exits in order with the
// expected action and role of each.
struct Exit {
  uint32_t pid;
  ClientExitAction action;
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
       {{2, CLIENT_EXIT_NOTIFY, L"renderer"}, {1, CLIENT_EXIT_END_REPORTER, L"main"}}},
      {"main exits while others remain",
       {{1, L"main"}, {2, L"renderer"}, {3, L"gpu"}},
       {{1, CLIENT_EXIT_END_REPORTER, L"main"}}},
      {"second main exits quietly, first main ends",
       {{1, L"main"}, {2, L"main"}, {3, L"renderer"}},
       {{2, CLIENT_EXIT_NOTHING, L"main"}, {1, CLIENT_EXIT_END_REPORTER, L"main"}}},
      {"last client ends the reporter whatever its role",
       {{5, L"renderer"}, {6, L"gpu"}},
       {{5, CLIENT_EXIT_NOTIFY, L"renderer"}, {6, CLIENT_EXIT_END_REPORTER, L"gpu"}}},
      {"empty role leaves quietly",
       {{1, L"main"}, {2, L""}, {3, L"renderer"}},
       {{2, CLIENT_EXIT_NOTHING, L""}}},
      {"unknown pid with others listed does nothing",
       {{1, L"main"}, {2, L"renderer"}},
       {{9, CLIENT_EXIT_NOTHING, L""}, {2, CLIENT_EXIT_NOTIFY, L"renderer"}}},
      {"unknown pid with an empty list ends the reporter",
       {},
       {{9, CLIENT_EXIT_END_REPORTER, L""}}},
      {"a pid listed twice leaves one entry at a time",
       {{1, L"main"}, {2, L"renderer"}, {2, L"renderer"}},
       {{2, CLIENT_EXIT_NOTIFY, L"renderer"}, {2, CLIENT_EXIT_NOTIFY, L"renderer"},
        {1, CLIENT_EXIT_END_REPORTER, L"main"}}},
  };
  for (const Scenario& s : scenarios) {
    ReporterState state;
    for (const auto& connect : s.connects)
      RegisterClientProcess(&state, connect.first, connect.second, L"0");
    for (const Exit& exit : s.exits) {
      std::wstring type = L"stale";
      EXPECT_EQ(exit.action, UnregisterClientProcess(&state, exit.pid, &type))
          << s.name << ", pid " << exit.pid;
      EXPECT_EQ(exit.type, type) << s.name << ", pid " << exit.pid;
    }
  }
}

}  // namespace
