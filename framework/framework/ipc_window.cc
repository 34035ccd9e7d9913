#include "framework/framework/ipc_window.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/shared_memory.h"
#include "base/string_number_conversions.h"
#include "base/json/json_reader.h"

namespace valmora {

namespace {

// CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS.
const UINT kIPCWindowClassStyle = 0x0B;

// The window lives until the process ends: destroying it from an exit
// callback would run on a thread that does not own it.
base::LazyInstance<IPC::IPCWindow>::Leaky g_ipc_window =
    LAZY_INSTANCE_INITIALIZER;

bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = kIPCWindowClassStyle;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = kIPCWindowClass;
  return ::RegisterClassExW(&window_class) != 0 ||
         ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

IPC::IPCWindow::IPCWindow() : window_(nullptr) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (!RegisterWindowClass(instance, &WindowProcedure)) {
    PLOG(WARNING) << "Register IPC Window Class Failed";
    return;
  }
  const std::wstring title = base::UintToString16(::GetCurrentProcessId());
  window_ = ::CreateWindowExW(0, kIPCWindowClass, title.c_str(), 0, 0, 0, 0, 0,
                              HWND_MESSAGE, nullptr, instance, this);
  if (!window_) PLOG(WARNING) << "Create IPC Window Failed";
}

IPC::IPCWindow::~IPCWindow() {
  if (window_) ::DestroyWindow(window_);
}

void IPC::IPCWindow::AddListener(Listener* listener) {
  listener_list_.push_back(listener);
}

void IPC::IPCWindow::RemoveListener(Listener* listener) {
  listener_list_.erase(
      std::remove(listener_list_.begin(), listener_list_.end(), listener),
      listener_list_.end());
}

// static
LRESULT CALLBACK IPC::IPCWindow::WindowProcedure(HWND window, UINT message,
                                                 WPARAM wparam,
                                                 LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  IPCWindow* self =
      reinterpret_cast<IPCWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) {
    // The final message: the object no longer has a window.
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (self) self->window_ = nullptr;
  }
  if (message == kIPCMessage && self) return self->OnIPCMessage(wparam, lparam);
  return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT IPC::IPCWindow::OnIPCMessage(WPARAM wparam, LPARAM lparam) {
  const std::string name = IPCSharedMemoryName(static_cast<uint32_t>(wparam),
                                               static_cast<uint32_t>(lparam));
  base::SharedMemory memory;
  if (!memory.Open(name, true)) {
    PLOG(WARNING) << "Open Existed IPC Shared Memory Failed";
    return 0;
  }
  if (!memory.Map(0)) {
    PLOG(WARNING) << "Map Existed IPC Shared Memory Failed";
    return 0;
  }
  // Never past the view, whether or not the sender put a zero in it.
  const char* text = static_cast<const char*>(memory.memory());
  const void* zero = std::memchr(text, 0, memory.mapped_size());
  const std::string json(
      text, zero ? static_cast<const char*>(zero) - text : memory.mapped_size());

  IPCData notice;
  switch (notice.Parse(json)) {
    case IPCData::PARSE_NOT_JSON:
      LOG(WARNING) << "IPCData Parse Failed: " << json;
      return 0;
    case IPCData::PARSE_BAD_MEMBERS:
      LOG(WARNING) << "IPCData Json Data Parse Failed: " << json;
      return 0;
    case IPCData::PARSE_OK:
      break;
  }

  // The message does not name its sender; the peer window stands for it.
  PeerWindow peer = FindPeerWindow();
  const IPC sender = peer.IsValid() ? FromPeerWindow(peer.window())
                                    : IPC(0, nullptr);
  // A listener may unregister itself while it is called.
  const std::vector<Listener*> listeners = listener_list_;
  for (Listener* listener : listeners)
    listener->OnIPCMessage(sender, notice.id, notice.data);
  return 0;
}

// static
void IPC::RegisterListener(Listener* listener) {
  g_ipc_window.Get().AddListener(listener);
}

// static
void IPC::UnregisterListener(Listener* listener) {
  g_ipc_window.Get().RemoveListener(listener);
}

// static
HWND IPC::ReceiverWindow() { return g_ipc_window.Get().hwnd(); }

}  // namespace valmora
