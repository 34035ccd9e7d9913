#include "crash_capture/crash_pipe_protocol.h"

#include <gtest/gtest.h>

namespace crash_capture {
namespace {

PipeMessage Registration() {
  PipeMessage message = {};
  message.tag = kRegistrationRequest;
  message.id = 1234;
  message.thread_id_address = 0x1000;
  message.exception_pointers_address = 0x2000;
  message.assertion_info_address = 0x3000;
  return message;
}

PipeMessage Response() {
  PipeMessage message = {};
  message.tag = kRegistrationResponse;
  message.id = 99;
  message.dump_request_handle = 4;
  message.dump_generated_handle = 8;
  message.server_alive_handle = 12;
  return message;
}

TEST(CrashPipeProtocolTest, ClientMessageValidity) {
  struct Case {
    const char* what;
    void (*change)(PipeMessage*);
    bool valid;
  } cases[] = {
      {"complete registration", [](PipeMessage*) {}, true},
      {"id zero", [](PipeMessage* m) { m->id = 0; }, false},
      {"no thread id address", [](PipeMessage* m) { m->thread_id_address = 0; },
       false},
      {"no exception pointers address",
       [](PipeMessage* m) { m->exception_pointers_address = 0; }, false},
      {"no assertion address",
       [](PipeMessage* m) { m->assertion_info_address = 0; }, false},
      {"tag 0", [](PipeMessage* m) { m->tag = kPipeMessageNone; }, false},
      {"tag 2 first", [](PipeMessage* m) { m->tag = kRegistrationResponse; },
       false},
      {"tag 3 first", [](PipeMessage* m) { m->tag = kRegistrationAck; }, false},
      {"unknown tag", [](PipeMessage* m) { m->tag = PipeMessageTag(77); },
       false},
      {"upload with nothing else",
       [](PipeMessage* m) {
         *m = PipeMessage{};
         m->tag = kUploadRequest;
       },
       true},
      {"upload with any fields",
       [](PipeMessage* m) { m->tag = kUploadRequest; }, true},
      {"custom info not checked",
       [](PipeMessage* m) { m->custom_info.count = ~0ull; }, true},
  };
  for (const Case& c : cases) {
    PipeMessage message = Registration();
    c.change(&message);
    EXPECT_EQ(IsValidClientMessage(message), c.valid) << c.what;
  }
}

TEST(CrashPipeProtocolTest, ResponseNeedsTagIdAndAllThreeHandles) {
  EXPECT_TRUE(IsValidRegistrationResponse(Response()));
  void (*changes[])(PipeMessage*) = {
      [](PipeMessage* m) { m->tag = kRegistrationAck; },
      [](PipeMessage* m) { m->id = 0; },
      [](PipeMessage* m) { m->dump_request_handle = 0; },
      [](PipeMessage* m) { m->dump_generated_handle = 0; },
      [](PipeMessage* m) { m->server_alive_handle = 0; },
  };
  for (auto change : changes) {
    PipeMessage message = Response();
    change(&message);
    EXPECT_FALSE(IsValidRegistrationResponse(message));
  }
}

}  // namespace
}  // namespace crash_capture
