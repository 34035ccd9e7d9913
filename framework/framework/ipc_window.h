// The receiving side of the window-message IPC: one hidden message-only
// window per process, of class "valmora_ipc_window" and titled with the
// process id, that reads each notice and hands it to the listeners.

#ifndef FRAMEWORK_FRAMEWORK_IPC_WINDOW_H_
#define FRAMEWORK_FRAMEWORK_IPC_WINDOW_H_

#include <windows.h>

#include <vector>

#include "framework/framework/ipc.h"

namespace valmora {

class IPC::IPCWindow {
 public:
  // Registers the class when needed and makes the window on this thread.
  IPCWindow();
  ~IPCWindow();

  IPCWindow(const IPCWindow&) = delete;
  IPCWindow& operator=(const IPCWindow&) = delete;

  HWND hwnd() const { return window_; }

  void AddListener(Listener* listener);
  void RemoveListener(Listener* listener);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message,
                                          WPARAM wparam, LPARAM lparam);
  // The handler of kIPCMessage; always 0.
  LRESULT OnIPCMessage(WPARAM wparam, LPARAM lparam);

  HWND window_;
  std::vector<Listener*> listener_list_;
};

}  // namespace valmora

#endif  // FRAMEWORK_FRAMEWORK_IPC_WINDOW_H_
