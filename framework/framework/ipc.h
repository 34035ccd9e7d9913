// Short notices between processes of the product on one desktop.
//
// The sender writes a JSON text {"data": text, "id": number} into a named
// page-file section "valmora_ipc_<receiver pid>_<ticks>" and sends
// WM_APP + 1 (wParam the receiver's pid, lParam the ticks) to the receiver's
// message-only window of class "valmora_ipc_window", titled with its pid.
// The receiver rebuilds the section name from the message, reads the text
// and hands the notice to its listeners.

#ifndef FRAMEWORK_FRAMEWORK_IPC_H_
#define FRAMEWORK_FRAMEWORK_IPC_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace base {
class SharedMemory;
}

namespace valmora {

extern const wchar_t kIPCWindowClass[];
const UINT kIPCMessage = WM_APP + 1;
// How long a notice waits for the receiver's window before it is dropped: a
// hung client must not hang the sender.
const UINT kIPCSendTimeoutMs = 3000;

// One notice.
struct IPCData {
  enum ParseResult {
    PARSE_OK,
    // The text is not JSON.
    PARSE_NOT_JSON,
    // Not an object with an integer "id" and a string "data".
    PARSE_BAD_MEMBERS,
  };

  uint32_t id = 0;
  std::string data;

  // The wire form, written by the JSON writer: keys in byte order, compact.
  std::string ToJson() const;
  // Reads the wire form (trailing commas allowed); on failure nothing is
  // changed.
  ParseResult Parse(const std::string& json);
};

// "valmora_ipc_" + receiver pid + "_" + ticks, both decimal.
std::string IPCSharedMemoryName(uint32_t receiver_pid, uint32_t ticks);

// Creates the named section of a notice, of |size| bytes, for |receiver_pid|.
// Starts with *ticks; while a section of that name already exists (two
// notices in one tick) it moves on to the next value. *ticks is the value
// used. False, with the system's error, when no section could be made.
bool CreateIPCSharedMemory(uint32_t receiver_pid, size_t size, uint32_t* ticks,
                           base::SharedMemory* memory);

// One peer: its process id and its IPC window. Made for one notice.
class IPC {
 public:
  // Called on the receiving window's thread for each notice.
  class Listener {
   public:
    virtual void OnIPCMessage(const IPC& sender, uint32_t id,
                              const std::string& data) = 0;

   protected:
    virtual ~Listener() {}
  };

  // A window handle, null when none.
  class PeerWindow {
   public:
    explicit PeerWindow(HWND window) : window_(window) {}
    bool IsValid() const { return window_ != nullptr; }
    HWND window() const { return window_; }

   private:
    HWND window_;
  };

  // This process's receiving window; see ipc_window.h.
  class IPCWindow;

  IPC(uint32_t process_id, HWND remote_receiver);
  virtual ~IPC();

  // The first IPC window that belongs to another process.
  static PeerWindow FindPeerWindow();
  // The peer that owns |window|.
  static IPC FromPeerWindow(HWND window);
  // The IPC window titled with |process_id|; false (logged) when none.
  static bool FindPeerWithProcessId(uint32_t process_id, IPC* peer);

  // Listeners of this process's window, which is made on first use on the
  // calling thread; that thread must pump messages. Not owned.
  static void RegisterListener(Listener* listener);
  static void UnregisterListener(Listener* listener);
  // This process's window, made on first use on the calling thread.
  static HWND ReceiverWindow();

  // Sends one notice and waits at most kIPCSendTimeoutMs for the receiver.
  // False when the peer's window is gone (nothing logged), or when the
  // section cannot be made or the receiver does not answer in time (logged
  // at WARNING; the notice is dropped).
  bool Send(uint32_t id, const std::string& data);

  uint32_t process_id() const { return process_id_; }
  HWND remote_receiver() const { return remote_receiver_; }

 private:
  uint32_t process_id_;
  HWND remote_receiver_;
};

}  // namespace valmora

#endif  // FRAMEWORK_FRAMEWORK_IPC_H_
