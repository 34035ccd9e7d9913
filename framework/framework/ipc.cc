#include "framework/framework/ipc.h"

#include <cstring>
#include <memory>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/shared_memory.h"
#include "base/string_number_conversions.h"
#include "base/values.h"

namespace valmora {

const wchar_t kIPCWindowClass[] = L"valmora_ipc_window";

namespace {

// Enough to step over every notice sent in one tick.
const int kMaxNameAttempts = 256;

uint32_t WindowProcessId(HWND window) {
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

}  // namespace

std::string IPCData::ToJson() const {
  base::DictionaryValue notice;
  // The wire carries a signed 32-bit integer; the bits round-trip.
  notice.SetIntegerWithoutPathExpansion("id", static_cast<int>(id));
  notice.SetStringWithoutPathExpansion("data", data);
  std::string json;
  base::JSONWriter::Write(&notice, &json);
  return json;
}

IPCData::ParseResult IPCData::Parse(const std::string& json) {
  std::unique_ptr<base::Value> root(
      base::JSONReader::Read(json, base::JSON_ALLOW_TRAILING_COMMAS));
  if (!root) return PARSE_NOT_JSON;
  const base::DictionaryValue* notice = nullptr;
  const base::Value* data_value = nullptr;
  int parsed_id = 0;
  std::string parsed_data;
  if (!root->GetAsDictionary(&notice) ||
      !notice->GetIntegerWithoutPathExpansion("id", &parsed_id) ||
      !notice->GetWithoutPathExpansion("data", &data_value) ||
      !data_value->IsType(base::Value::TYPE_STRING) ||
      !data_value->GetAsString(&parsed_data)) {
    return PARSE_BAD_MEMBERS;
  }
  id = static_cast<uint32_t>(parsed_id);
  data.swap(parsed_data);
  return PARSE_OK;
}

std::string IPCSharedMemoryName(uint32_t receiver_pid, uint32_t ticks) {
  return "valmora_ipc_" + base::UintToString(receiver_pid) + "_" +
         base::UintToString(ticks);
}

bool CreateIPCSharedMemory(uint32_t receiver_pid, size_t size, uint32_t* ticks,
                           base::SharedMemory* memory) {
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt, ++*ticks) {
    if (memory->CreateNamed(IPCSharedMemoryName(receiver_pid, *ticks), false,
                            size)) {
      return true;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

IPC::IPC(uint32_t process_id, HWND remote_receiver)
    : process_id_(process_id), remote_receiver_(remote_receiver) {}

IPC::~IPC() {}

// static
IPC::PeerWindow IPC::FindPeerWindow() {
  const uint32_t own_process_id = ::GetCurrentProcessId();
  HWND window = nullptr;
  while ((window = ::FindWindowExW(HWND_MESSAGE, window, kIPCWindowClass,
                                   nullptr)) != nullptr) {
    if (WindowProcessId(window) != own_process_id) return PeerWindow(window);
  }
  return PeerWindow(nullptr);
}

// static
IPC IPC::FromPeerWindow(HWND window) {
  return IPC(WindowProcessId(window), window);
}

// static
bool IPC::FindPeerWithProcessId(uint32_t process_id, IPC* peer) {
  std::wstring title = base::UintToString16(process_id);
  HWND window =
      ::FindWindowExW(HWND_MESSAGE, nullptr, kIPCWindowClass, title.c_str());
  if (!window) {
    LOG(WARNING) << "IPC FindIPC Peer With Process Id(" << process_id
                 << ") failed";
    return false;
  }
  *peer = FromPeerWindow(window);
  return true;
}

bool IPC::Send(uint32_t id, const std::string& data) {
  if (!::IsWindow(remote_receiver_)) return false;

  IPCData notice;
  notice.id = id;
  notice.data = data;
  const std::string json = notice.ToJson();
  const size_t size = json.size() + 1;

  uint32_t ticks = ::GetTickCount();
  base::SharedMemory memory;
  if (!CreateIPCSharedMemory(process_id_, size, &ticks, &memory)) {
    PLOG(WARNING) << "Create IPC Shared Memory Failed";
    return false;
  }
  if (!memory.Map(size)) {
    PLOG(WARNING) << "Map IPC Shared Memory Failed";
    return false;
  }
  std::memset(memory.memory(), 0,
              memory.mapped_size() > size ? memory.mapped_size() : size);
  std::memcpy(memory.memory(), json.data(), json.size());
  memory.Unmap();

  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(remote_receiver_, kIPCMessage, process_id_,
                             static_cast<LPARAM>(ticks), SMTO_ABORTIFHUNG,
                             kIPCSendTimeoutMs, &result)) {
    PLOG(WARNING) << "IPC notice " << id << " to process " << process_id_
                  << " not taken within " << kIPCSendTimeoutMs
                  << " ms, dropped";
    return false;
  }
  // The section goes once the receiver has closed its view too.
  memory.Close();
  return true;
}

}  // namespace valmora
