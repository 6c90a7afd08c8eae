// Win32: the multimedia millisecond clock, the local calendar, MessageBoxW,
// the thread's message pump and a timer that ticks from the host's message
// loop.
#include <windows.h>
#include <mmsystem.h>
#include <io.h>

#include <string>
#include <string_view>

#include "base/platform.h"
#include "base/win32.h"

namespace vkt::platform {

std::wstring utf16(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

HINSTANCE library_module() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&library_module), &module);
  return module;
}

bool destroy_library_window(HWND window) {
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    DestroyWindow(window);
    return true;
  }
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  PostMessageW(window, WM_CLOSE, 0, 0);
  return false;
}

void local_calendar(std::time_t t, std::tm& out) {
  // The C runtime converts with the zone Windows is set to.
  if (localtime_s(&out, &t) != 0) out = std::tm{};
}

uint32_t millisecond_ticks() { return timeGetTime(); }

namespace {


// Boxes of their own (no owner window), caption "VKTCom", error icon, OK
// button; the library's texts are UTF-8. Task-modal: every top-level window
// of the calling thread (the host's and the library's) is disabled while
// the box is up, so that no click reaches a handler that could call into
// the library from inside the function showing the box. The box's own loop
// still delivers timers and posted messages.
class MessageBoxNotifier final : public Notifier {
 public:
  void show_error(std::string_view text) override {
    MessageBoxW(nullptr, utf16(text).c_str(), L"VKTCom", MB_ICONERROR | MB_OK | MB_TASKMODAL);
  }
};

}  // namespace

std::shared_ptr<Notifier> make_notifier() { return std::make_shared<MessageBoxNotifier>(); }

void pump_thread_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The host's own loop ends on it: post it again and stop here.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

namespace {

constexpr wchar_t kTimerClass[] = L"VKTComMessageTimer";


class Win32HostLoopTimer final : public HostLoopTimer {
 public:
  Win32HostLoopTimer(uint32_t interval_ms, std::function<void()> tick) : tick_(std::move(tick)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32HostLoopTimer::window_proc;
    wc.hInstance = library_module();
    wc.lpszClassName = kTimerClass;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    window_ = CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetTimer(window_, 1, interval_ms, nullptr);
  }
  ~Win32HostLoopTimer() override {
    if (window_) {
      KillTimer(window_, 1);
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      destroy_library_window(window_);
    }
    UnregisterClassW(kTimerClass, library_module());
  }

 private:
  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER) {
      auto* self = reinterpret_cast<Win32HostLoopTimer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      if (self && !self->running_) {
        self->running_ = true;
        try {
          self->tick_();
        } catch (...) {
          // Nothing may unwind through the window system.
        }
        self->running_ = false;
      }
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  std::function<void()> tick_;
  HWND window_ = nullptr;
  bool running_ = false;
};

}  // namespace

std::unique_ptr<HostLoopTimer> start_host_loop_timer(uint32_t interval_ms, std::function<void()> tick) {
  return std::make_unique<Win32HostLoopTimer>(interval_ms, std::move(tick));
}

// The Windows heap decommits large free blocks itself.
void release_free_memory() {}

std::string environment_text(const char* name) {
  const std::wstring wide_name = utf16(name);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return "";
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
  value.resize(length < size ? length : 0);
  return utf8(value);
}

std::FILE* open_new_file(const std::string& path, bool& regular) {
  std::FILE* file = _wfopen(utf16(path).c_str(), L"wbN");
  if (!file) return nullptr;
  const DWORD type = GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
  regular = type == FILE_TYPE_DISK;
  return file;
}

bool replace_file(const std::string& from, const std::string& to) {
  return MoveFileExW(utf16(from).c_str(), utf16(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void report_trace_failure(const std::string&) {}

}  // namespace vkt::platform
