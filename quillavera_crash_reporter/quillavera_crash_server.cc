#include "quillavera_crash_reporter/quillavera_crash_server.h"

#include "quillavera_crash_reporter/reporter_globals.h"

namespace {

const wchar_t kReporterWindowClass[] = L"QuillaVeraCrashReporter";

}  // namespace

ATOM RegisterReporterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = &ReporterWndProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kReporterWindowClass;
  return RegisterClassExW(&window_class);
}

LRESULT CALLBACK ReporterWndProc(HWND hwnd, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  if (message == WM_DESTROY) {
    CleanupGlobals();
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

int RunMessageLoop() {
  MSG msg = {};
  // GetMessageW returns -1 on an error; looping on "non-zero" would spin.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
