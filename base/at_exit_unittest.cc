#include "base/at_exit.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string* g_log = nullptr;

void Append(void* text) { g_log->append(static_cast<const char*>(text)); }

// Registers "B" the first time it runs.
void AppendAndRegisterOnce(void* text) {
  Append(text);
  static bool registered = false;
  if (!registered) {
    registered = true;
    ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("B"));
  }
}

class ExitCallbackStackTest : public testing::Test {
 protected:
  void SetUp() override { g_log = &log_; }
  void TearDown() override { g_log = nullptr; }
  std::string log_;
};

TEST_F(ExitCallbackStackTest, RunsInReverseOrderAtDestruction) {
  {
    ExitCallbackStack stack;
    ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("1"));
    ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("2"));
    ExitCallbackStack::RegisterTask(
        BindFunction(&Append, const_cast<char*>("3")));
    EXPECT_EQ("", log_);
  }
  EXPECT_EQ("321", log_);
}

TEST_F(ExitCallbackStackTest, RegistrationWithoutAStackIsDropped) {
  ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("lost"));
  ExitCallbackStack::ProcessCallbacksNow();
  { ExitCallbackStack stack; }
  EXPECT_EQ("", log_);
}

TEST_F(ExitCallbackStackTest, CallbackRegisteredWhileRunningRunsNextOnce) {
  {
    ExitCallbackStack stack;
    ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("C"));
    ExitCallbackStack::RegisterCallback(&AppendAndRegisterOnce,
                                        const_cast<char*>("A"));
  }
  EXPECT_EQ("ABC", log_);
}

TEST_F(ExitCallbackStackTest, ProcessCallbacksNowEmptiesTheStack) {
  ExitCallbackStack stack;
  ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("1"));
  ExitCallbackStack::ProcessCallbacksNow();
  EXPECT_EQ("1", log_);
  ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("2"));
  ExitCallbackStack::ProcessCallbacksNow();
  ExitCallbackStack::ProcessCallbacksNow();
  EXPECT_EQ("12", log_);
}

TEST_F(ExitCallbackStackTest, InnerStackShadowsOuterUntilDestroyed) {
  {
    ExitCallbackStack outer;
    ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("o"));
    {
      ExitCallbackStack inner;
      ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("i"));
    }
    EXPECT_EQ("i", log_);
    ExitCallbackStack::RegisterCallback(&Append, const_cast<char*>("O"));
  }
  EXPECT_EQ("iOo", log_);
}

}  // namespace
}  // namespace base
