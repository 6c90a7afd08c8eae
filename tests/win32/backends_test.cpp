// The Win32 backends: open errors as the port reports them, port names,
// the millisecond clock, the thread's message pump, the timer that ticks
// from the host's message loop, and the message boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/platform.h"
#include "base/services.h"
#include "exports/library.h"
#include "link/port_error.h"
#include "link/registry_reader.h"
#include "link/serial_backend.h"
#include "link/serial_backend_win32.h"
#include "support/fakes.h"

namespace vkt {
namespace {

template <class E>
void expect_open_error(DWORD error) {
  try {
    link::throw_open_error(error);
    FAIL() << "no throw for " << error;
  } catch (const E& e) {
    EXPECT_EQ(e.code(), E::kCode) << "for " << error;
  } catch (...) {
    FAIL() << "wrong error for " << error;
  }
}

TEST(Win32Serial, OpenErrorsMapToThePortsErrors) {
  expect_open_error<link::EBadId>(ERROR_FILE_NOT_FOUND);
  expect_open_error<link::EBadId>(ERROR_PATH_NOT_FOUND);
  // Another program holds the port: real Windows refuses a second opener
  // this way (Wine lets it through, so only the mapping can be shown here).
  expect_open_error<link::EAlreadyOpen>(ERROR_ACCESS_DENIED);
  expect_open_error<link::EAlreadyOpen>(ERROR_SHARING_VIOLATION);
  try {
    link::throw_open_error(ERROR_GEN_FAILURE);
    FAIL();
  } catch (const link::PortIoError& e) {
    EXPECT_EQ(e.code(), -static_cast<int>(ERROR_GEN_FAILURE));
    EXPECT_FALSE(std::string(e.what()).empty());
  }
}

TEST(Win32Serial, EveryPortNumberNamesADevice) {
  EXPECT_EQ(link::win32_device_path(1), "\\\\.\\COM1");
  EXPECT_EQ(link::win32_device_path(10), "\\\\.\\COM10");
  EXPECT_EQ(link::win32_device_path(65535), "\\\\.\\COM65535");
  EXPECT_EQ(link::win32_device_path(0), "");
}

TEST(Win32Serial, AbsentPortIsBadIdAndLeavesNothingOpen) {
  auto backend = link::make_platform_serial_backend();
  EXPECT_THROW(backend->open(backend->device_path(231)), link::EBadId);
  EXPECT_FALSE(backend->is_open());
  backend->close();  // harmless when closed
}

TEST(Win32Serial, BackgroundBodyRunsAndIsJoined) {
  auto backend = link::make_platform_serial_backend();
  std::atomic<int> runs{0};
  backend->start_background([&] { ++runs; });
  EXPECT_TRUE(backend->background_started());
  backend->join_background();
  EXPECT_FALSE(backend->background_started());
  EXPECT_EQ(runs.load(), 1);
  backend->join_background();  // harmless twice
}

// A key of the test's own under HKLM\SOFTWARE, removed again at the end.
class Win32RegistryTest : public ::testing::Test {
 protected:
  static constexpr const char* kRoot = "SOFTWARE\\VktcomRegistryTest";
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VktcomRegistryTest\\VID_1F2E+PID_3D4C+A\\0000", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char port[] = "COM12";
    RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof port);
    const DWORD number = 7;
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRoot); }
  static bool exists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
};

TEST_F(Win32RegistryTest, ReadsNamesSubkeysAndTextValues) {
  auto reader = link::make_system_registry_reader();
  ASSERT_TRUE(reader->open_key("\\SOFTWARE\\VktcomRegistryTest"));
  const auto values = reader->value_names();
  EXPECT_EQ(values.size(), 2u);
  EXPECT_EQ(reader->read_string("PortName"), "COM12");
  EXPECT_EQ(reader->read_string("Absent"), "");
  EXPECT_THROW(reader->read_string("Number"), link::RegistryError);
  EXPECT_EQ(reader->subkey_names(), std::vector<std::string>{"VID_1F2E+PID_3D4C+A"});
  reader->close_key();
  EXPECT_TRUE(reader->value_names().empty());
}

TEST_F(Win32RegistryTest, AbsentKeyIsNotCreated) {
  auto reader = link::make_system_registry_reader();
  EXPECT_FALSE(reader->open_key("\\SOFTWARE\\VktcomRegistryTest\\Missing"));
  EXPECT_FALSE(exists("SOFTWARE\\VktcomRegistryTest\\Missing"));
  // A failed open keeps the key opened before.
  ASSERT_TRUE(reader->open_key("\\SOFTWARE\\VktcomRegistryTest"));
  EXPECT_FALSE(reader->open_key("\\SOFTWARE\\VktcomRegistryTest\\Missing"));
  EXPECT_EQ(reader->read_string("PortName"), "COM12");
}

TEST(Win32Clock, MillisecondTicksFollowTheMultimediaTimer) {
  const uint32_t a = platform::millisecond_ticks();
  const uint32_t system = timeGetTime();
  EXPECT_LT(static_cast<uint32_t>(system - a), 50u);
  Sleep(30);
  // Differences are taken modulo 2^32, so they stay right across the wrap.
  const uint32_t elapsed = platform::millisecond_ticks() - a;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 5000u);
  const LocalTime now = SystemClock().local_now();
  SYSTEMTIME st;
  GetLocalTime(&st);
  EXPECT_EQ(now.year, st.wYear);
  EXPECT_EQ(now.month, st.wMonth);
}

TEST(Win32Pump, DispatchesTheThreadsMessagesAndKeepsAQuitForTheHost) {
  PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0);
  PostQuitMessage(7);
  platform::pump_thread_messages();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

// Runs the thread's message loop, as a host's would, until `done` or 3 s.
template <class Done>
bool run_host_loop(Done done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 3000) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

TEST(Win32HostLoop, TimerTicksFromTheHostsLoopAndSwallowsExceptions) {
  int ticks = 0;
  auto timer = platform::start_host_loop_timer(10, [&] {
    ++ticks;
    throw std::runtime_error("a failing tick never reaches the window system");
  });
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(run_host_loop([&] { return ticks >= 3; }));
  timer.reset();
  const int after = ticks;
  Sleep(30);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(ticks, after);
}

TEST(Win32HostLoop, ReleasedMonitorWindowIsDestroyedByTheHostsLoop) {
  testing::TestLibrary lib;
  lib->ensure_monitor();
  lib->form_release();
  auto destroyed = [&] {
    for (const auto& e : lib.backend->events_of("TForm2"))
      if (e.kind == ui::WindowEvent::Destroyed) return true;
    return false;
  };
  EXPECT_FALSE(destroyed());
  EXPECT_TRUE(run_host_loop(destroyed));
}

// A window of the calling thread, as a host's: it counts the posted
// messages and the timer ticks it is served.
std::atomic<int> g_host_posted{0};
std::atomic<int> g_host_ticks{0};
LRESULT CALLBACK host_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) ++g_host_posted;
  if (message == WM_TIMER) ++g_host_ticks;
  return DefWindowProcW(window, message, wparam, lparam);
}

// Finds the message box the library shows, on another thread; once the
// host's timer has ticked inside the box's loop (or 2 s have passed) it
// records the box's caption and text and whether the host's window takes
// input, and presses OK.
struct BoxAnswerer {
  explicit BoxAnswerer(HWND host) : host(host) {}
  ~BoxAnswerer() { join(); }
  void join() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  HWND host;
  std::atomic<bool> stop{false};
  std::string caption, text;
  bool host_enabled_during_box = true;
  std::thread thread{[this] {
    while (!stop) {
      if (HWND box = FindWindowW(L"#32770", L"VKTCom")) {
        const DWORD found = GetTickCount();
        while (g_host_ticks == 0 && GetTickCount() - found < 2000) Sleep(5);
        host_enabled_during_box = IsWindowEnabled(host) != FALSE;
        char buffer[512] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        text = buffer;
        GetWindowTextA(box, buffer, sizeof buffer);
        caption = buffer;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(10);
    }
  }};
};

// The box has no owner and is task-modal: the thread's windows take no
// input while it is up, so no click can call into the library from inside
// the function that shows it; timers and posted messages still run.
TEST(Win32Notifier, ShowsATaskModalBoxWithTheLibrarysCaptionAndText) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = host_window_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VktTestHostWindow";
  RegisterClassW(&wc);
  HWND host = CreateWindowW(L"VktTestHostWindow", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                            wc.hInstance, nullptr);
  ASSERT_NE(host, nullptr);
  PostMessageW(host, WM_APP, 0, 0);
  SetTimer(host, 1, 10, nullptr);

  BoxAnswerer answerer(host);
  make_default_notifier()->show_error("Clock Set Error(Command s)");
  answerer.join();
  KillTimer(host, 1);

  EXPECT_EQ(answerer.caption, "VKTCom");
  EXPECT_EQ(answerer.text, "Clock Set Error(Command s)");
  EXPECT_FALSE(answerer.host_enabled_during_box) << "the host's window took input while the box was up";
  EXPECT_TRUE(IsWindowEnabled(host)) << "the host's window stayed disabled after the box";
  EXPECT_EQ(g_host_posted, 1) << "the posted message was not served inside the box's loop";
  EXPECT_GE(g_host_ticks, 1) << "the host's timer did not tick inside the box's loop";
  DestroyWindow(host);
}

}  // namespace
}  // namespace vkt
