// Stands in for the client application's IPC window: a message-only window
// of class "valmora_ipc_window", titled with this process's id, in a process
// of its own. Every WM_APP + 1 notice is read from its named mapping with the
// plain Windows calls and written as one JSON line to the output file:
//
//   {"wparam":<n>,"lparam":<n>,"mapping":"<name>","size":<view bytes>,
//    "text":"<mapping text>"}
//
// or, when the mapping cannot be read, the same with "error" in place of
// "size" and "text". Every byte of the text outside printable ASCII, and '"'
// and '\', is written as \u00XX, so the line holds the exact bytes.
//
//   ipc_peer_window.exe --out=<file> [--hang] [--lifetime-ms=<n>]
//
// --hang: make the window, then stop pumping messages, as a hung client.
// The program ends on WM_CLOSE or after the lifetime (default 60 s).

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

const UINT kNoticeMessage = WM_APP + 1;
const UINT_PTR kLifetimeTimer = 1;

std::wstring g_output_path;

std::string EscapeBytes(const char* bytes, size_t length) {
  std::string escaped;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      escaped.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
      escaped += buffer;
    }
  }
  return escaped;
}

void AppendLine(const std::string& line) {
  FILE* file = _wfopen(g_output_path.c_str(), L"ab");
  if (!file) return;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fputc('\n', file);
  std::fclose(file);
}

void RecordNotice(WPARAM wparam, LPARAM lparam) {
  char name[64];
  std::snprintf(name, sizeof(name), "valmora_ipc_%u_%u",
                static_cast<unsigned>(wparam), static_cast<unsigned>(lparam));
  char head[160];
  std::snprintf(head, sizeof(head),
                "{\"wparam\":%u,\"lparam\":%u,\"mapping\":\"%s\",",
                static_cast<unsigned>(wparam), static_cast<unsigned>(lparam),
                name);
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  if (!mapping) {
    AppendLine(std::string(head) + "\"error\":\"open\"}");
    return;
  }
  const char* view =
      static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    CloseHandle(mapping);
    AppendLine(std::string(head) + "\"error\":\"map\"}");
    return;
  }
  MEMORY_BASIC_INFORMATION info = {};
  size_t size = 0;
  if (VirtualQuery(view, &info, sizeof(info)) == sizeof(info))
    size = info.RegionSize;
  const void* zero = std::memchr(view, 0, size);
  size_t length = zero ? static_cast<const char*>(zero) - view : size;
  AppendLine(std::string(head) + "\"size\":" + std::to_string(size) +
             ",\"text\":\"" + EscapeBytes(view, length) + "\"}");
  UnmapViewOfFile(view);
  CloseHandle(mapping);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  switch (message) {
    case kNoticeMessage:
      RecordNotice(wparam, lparam);
      return 0;
    case WM_TIMER:
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

bool TakeOption(const wchar_t* argument, const wchar_t* prefix,
                std::wstring* value) {
  size_t length = std::wcslen(prefix);
  if (std::wcsncmp(argument, prefix, length) != 0) return false;
  *value = argument + length;
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool hang = false;
  unsigned lifetime_ms = 60000;
  for (int i = 1; i < argc; ++i) {
    std::wstring value;
    if (TakeOption(argv[i], L"--out=", &value)) {
      g_output_path = value;
    } else if (TakeOption(argv[i], L"--lifetime-ms=", &value)) {
      lifetime_ms = static_cast<unsigned>(std::wcstoul(value.c_str(), nullptr, 10));
    } else if (std::wcscmp(argv[i], L"--hang") == 0) {
      hang = true;
    } else {
      std::fwprintf(stderr, L"unknown argument %ls\n", argv[i]);
      return 1;
    }
  }
  if (g_output_path.empty()) {
    std::fwprintf(stderr, L"usage: ipc_peer_window --out=<file> [--hang]\n");
    return 1;
  }

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"valmora_ipc_window";
  if (!RegisterClassExW(&window_class)) return 2;
  wchar_t title[16];
  std::swprintf(title, 16, L"%lu", GetCurrentProcessId());
  HWND window = CreateWindowExW(0, L"valmora_ipc_window", title, 0, 0, 0, 0, 0,
                                HWND_MESSAGE, nullptr, instance, nullptr);
  if (!window) return 3;

  if (hang) {
    // A hung client: the window exists but its thread never pumps again.
    Sleep(lifetime_ms);
    return 0;
  }
  SetTimer(window, kLifetimeTimer, lifetime_ms, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
