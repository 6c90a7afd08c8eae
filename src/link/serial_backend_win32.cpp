// The serial port's device access on Win32: a COM port opened exclusively
// for overlapped I/O.
//
// Waiting for data: a one-byte overlapped read with read time-outs
// (0, 0, 50 ms) is the wait. It completes as soon as a byte arrives (the
// byte is kept and handed out first), or after 50 ms with nothing (real
// Windows reports success with 0 bytes, Wine the error 1460), when it is
// simply issued again; a failure of any other kind is a hang-up. The rest of
// what arrived is then read in exactly the amount ClearCommError reports
// queued, which completes at once. This works the same on real Windows and
// under Wine, where WaitCommEvent cannot be used and the "return at once"
// time-outs (MAXDWORD, 0, 0) make a read pend.
//
// Writing: one overlapped write at a time from a copy of the bytes, so the
// order is kept; the next write starts once the previous one has completed.
//
// The I/O loop runs as a thread-pool callback: when the module is unloaded
// with the port open, its close can wait for the loop to end under the
// loader lock (a thread of its own would have to exit, and a thread's exit
// waits for that lock).
#include "link/serial_backend_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/win32.h"
#include "link/port_error.h"
#include "link/serial_backend.h"

namespace vkt::link {

std::string win32_device_path(uint16_t port_number) {
  if (port_number == 0) return {};
  return "\\\\.\\COM" + std::to_string(port_number);
}

std::string win32_error_text(unsigned long system_error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      system_error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer) {
    text = platform::utf8(std::wstring_view(buffer, length));
  }
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "system error " + std::to_string(system_error);
  return text;
}

void throw_open_error(unsigned long system_error) {
  switch (system_error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
      throw EBadId();
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      throw EAlreadyOpen();
    default:
      throw PortIoError(static_cast<int>(system_error), win32_error_text(system_error));
  }
}

namespace {

[[noreturn]] void throw_io_error(DWORD error) {
  throw PortIoError(static_cast<int>(error), win32_error_text(error));
}

constexpr DWORD kReadWaitMs = 50;          // the one-byte wait read's time-out
constexpr std::size_t kWriteChunk = 4096;  // at most this much in one write

// A manual-reset event for an OVERLAPPED; throws when the system has none.
HANDLE make_event(bool manual_reset) {
  HANDLE event = CreateEventW(nullptr, manual_reset ? TRUE : FALSE, FALSE, nullptr);
  if (!event) throw_io_error(GetLastError());
  return event;
}

void close_handle(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

class Win32SerialBackend final : public SerialBackend {
 public:
  Win32SerialBackend() = default;
  ~Win32SerialBackend() override {
    join_background();
    close();
    close_handle(done_event_);
  }

  std::string device_path(uint16_t port_number) const override { return win32_device_path(port_number); }

  void open(const std::string& path) override {
    close();
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw_open_error(GetLastError());
    try {
      wake_event_ = make_event(false);
      read_ov_.hEvent = make_event(true);
      write_ov_.hEvent = make_event(true);
    } catch (...) {
      CloseHandle(handle);
      release_events();
      throw;
    }
    handle_ = handle;
    read_pending_ = write_pending_ = have_byte_ = false;
  }

  void configure(const LineSettings& settings) override {
    // Queue sizes are a wish the driver may ignore (Wine does).
    SetupComm(handle_, settings.in_size, settings.out_size);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) throw_io_error(GetLastError());
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;  // no parity checking
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = settings.sw_flow == SWFlow::swfTransmit || settings.sw_flow == SWFlow::swfBoth;
    dcb.fInX = settings.sw_flow == SWFlow::swfReceive || settings.sw_flow == SWFlow::swfBoth;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;  // NUL bytes are data
    dcb.fRtsControl = settings.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = static_cast<BYTE>(settings.data_bits);
    switch (settings.parity) {
      case Parity::pNone: dcb.Parity = NOPARITY; break;
      case Parity::pOdd: dcb.Parity = ODDPARITY; break;
      case Parity::pEven: dcb.Parity = EVENPARITY; break;
      case Parity::pMark: dcb.Parity = MARKPARITY; break;
      case Parity::pSpace: dcb.Parity = SPACEPARITY; break;
    }
    dcb.StopBits = settings.stop_bits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    if (!SetCommState(handle_, &dcb)) throw_io_error(GetLastError());

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadWaitMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;  // writes never time out
    if (!SetCommTimeouts(handle_, &timeouts)) throw_io_error(GetLastError());

    // Drivers without modem lines (and Wine) refuse these; that is no error.
    EscapeCommFunction(handle_, settings.dtr ? SETDTR : CLRDTR);
    EscapeCommFunction(handle_, settings.rts ? SETRTS : CLRRTS);
  }

  IoResult read(void* buffer, std::size_t size) override {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t count = 0;
    if (size == 0) return {};
    if (read_pending_) return {};  // the wait read still runs: nothing is known to be there
    if (have_byte_) {
      have_byte_ = false;
      if (byte_generation_ == flush_generation_.load()) out[count++] = byte_;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) {
      if (count > 0) return {IoResult::Status::Ok, count, 0};
      return {IoResult::Status::Gone, 0, static_cast<int>(GetLastError())};
    }
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, size - count));
    if (wanted > 0) {
      DWORD got = 0;
      if (!ReadFile(handle_, out + count, wanted, &got, &read_ov_)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
          // Queued bytes complete the read at once; the time-out bounds it all the same.
          if (!GetOverlappedResult(handle_, &read_ov_, &got, TRUE)) got = 0;
        } else if (error != ERROR_TIMEOUT && error != ERROR_OPERATION_ABORTED) {
          if (count > 0) return {IoResult::Status::Ok, count, 0};
          return {IoResult::Status::Gone, 0, static_cast<int>(error)};
        }
      }
      count += got;
    }
    if (count == 0) return {};
    return {IoResult::Status::Ok, count, 0};
  }

  IoResult write(const void* data, std::size_t size) override {
    if (write_pending_) {
      DWORD sent = 0;
      if (!GetOverlappedResult(handle_, &write_ov_, &sent, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return {};
        write_pending_ = false;
        if (error != ERROR_OPERATION_ABORTED) return {IoResult::Status::Gone, 0, static_cast<int>(error)};
      }
      write_pending_ = false;
    }
    if (size == 0) return {};
    const std::size_t chunk = std::min(size, kWriteChunk);
    write_buffer_.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + chunk);
    DWORD sent = 0;
    if (!WriteFile(handle_, write_buffer_.data(), static_cast<DWORD>(chunk), &sent, &write_ov_)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return {IoResult::Status::Gone, 0, static_cast<int>(error)};
      write_pending_ = true;
    }
    return {IoResult::Status::Ok, chunk, 0};
  }

  Readiness wait(bool want_read, bool want_write, bool watch_device) override {
    Readiness ready;
    for (;;) {
      HANDLE handles[3] = {wake_event_, nullptr, nullptr};
      DWORD count = 1;
      int read_slot = -1;
      int write_slot = -1;
      if (watch_device && want_read) {
        if (have_byte_) {
          ready.readable = true;
        } else if (!read_pending_) {
          arm_wait_read(ready);
        }
        if (read_pending_) {
          read_slot = static_cast<int>(count);
          handles[count++] = read_ov_.hEvent;
        }
      }
      if (watch_device && want_write) {
        if (!write_pending_) {
          ready.writable = true;
        } else {
          write_slot = static_cast<int>(count);
          handles[count++] = write_ov_.hEvent;
        }
      }
      const bool known = ready.readable || ready.writable || ready.hangup;
      const DWORD result = WaitForMultipleObjects(count, handles, FALSE, known ? 0 : INFINITE);
      if (result == WAIT_OBJECT_0) {
        ready.woken = true;
        return ready;
      }
      if (result == WAIT_TIMEOUT) return ready;  // `known` holds something
      if (result == WAIT_FAILED) {
        ready.hangup = true;
        return ready;
      }
      const int slot = static_cast<int>(result - WAIT_OBJECT_0);
      if (slot == write_slot) {
        ready.writable = true;  // write() collects the outcome
        return ready;
      }
      if (slot == read_slot) {
        finish_wait_read(ready);
        if (ready.readable || ready.hangup) return ready;
        continue;  // the 50 ms passed without a byte: wait again
      }
      return ready;
    }
  }

  void wake() override { SetEvent(wake_event_); }

  void flush_input() override {
    if (!handle_) return;
    // A byte the wait read took before the purge is stale as well.
    flush_generation_.fetch_add(1);
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_RXABORT);
  }

  void flush_output() override {
    if (handle_) PurgeComm(handle_, PURGE_TXCLEAR | PURGE_TXABORT);
  }

  void close() override {
    if (handle_) {
      // No overlapped operation may outlive its buffer and event.
      if (read_pending_ || write_pending_) {
        CancelIoEx(handle_, nullptr);
        DWORD n = 0;
        if (read_pending_) GetOverlappedResult(handle_, &read_ov_, &n, TRUE);
        if (write_pending_) GetOverlappedResult(handle_, &write_ov_, &n, TRUE);
      }
      read_pending_ = write_pending_ = have_byte_ = false;
      CloseHandle(handle_);
      handle_ = nullptr;
    }
    release_events();
  }

  bool is_open() const override { return handle_ != nullptr; }

  void start_background(std::function<void()> body) override {
    join_background();
    if (!done_event_) done_event_ = make_event(true);
    ResetEvent(done_event_);
    body_ = std::move(body);
    background_ = true;
    if (!TrySubmitThreadpoolCallback(&Win32SerialBackend::run_body, this, nullptr)) {
      const DWORD error = GetLastError();
      background_ = false;
      body_ = nullptr;
      throw_io_error(error);
    }
  }

  void join_background() override {
    if (!background_) return;
    WaitForSingleObject(done_event_, INFINITE);
    background_ = false;
    body_ = nullptr;
  }

  bool background_started() const override { return background_; }

 private:
  static void CALLBACK run_body(PTP_CALLBACK_INSTANCE instance, void* context) {
    auto* self = static_cast<Win32SerialBackend*>(context);
    CallbackMayRunLong(instance);
    // The pool sets the event only after this function has returned, so a
    // waiter knows that nothing of the module's code runs here any more.
    SetEventWhenCallbackReturns(instance, self->done_event_);
    try {
      self->body_();
    } catch (...) {
      // The loop catches its own failures; nothing may unwind into the pool.
    }
  }

  // Issues the one-byte wait read. A byte there already completes it at once.
  void arm_wait_read(Readiness& ready) {
    byte_generation_ = flush_generation_.load();
    DWORD got = 0;
    if (ReadFile(handle_, &byte_, 1, &got, &read_ov_)) {
      if (got == 1) {
        have_byte_ = true;
        ready.readable = true;
      }
      return;  // 0 bytes: the time-out passed; the next round tries again
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      read_pending_ = true;
    } else if (error != ERROR_TIMEOUT && error != ERROR_OPERATION_ABORTED) {
      ready.hangup = true;
    }
  }

  // The wait read has completed: a byte, nothing yet, or a failed device.
  void finish_wait_read(Readiness& ready) {
    DWORD got = 0;
    const BOOL ok = GetOverlappedResult(handle_, &read_ov_, &got, FALSE);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!ok && error == ERROR_IO_INCOMPLETE) return;
    read_pending_ = false;
    if (ok && got == 1) {
      have_byte_ = true;
      ready.readable = true;
    } else if (!ok && error != ERROR_TIMEOUT && error != ERROR_OPERATION_ABORTED) {
      ready.hangup = true;  // 109 (a closed pipe) under Wine, a device error on Windows
    } else if (!device_present()) {
      // A read may keep timing out on a device that is gone (Wine on a
      // hung-up terminal); the device's status tells.
      ready.hangup = true;
    }
  }

  // False once the device is gone: its status can no longer be read (error
  // 21 "not ready" under Wine, a removed device on Windows).
  bool device_present() {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle_, &errors, &status) != 0;
  }

  void release_events() {
    close_handle(wake_event_);
    close_handle(read_ov_.hEvent);
    close_handle(write_ov_.hEvent);
    read_ov_ = OVERLAPPED{};
    write_ov_ = OVERLAPPED{};
  }

  HANDLE handle_ = nullptr;
  HANDLE wake_event_ = nullptr;
  OVERLAPPED read_ov_{};
  OVERLAPPED write_ov_{};
  bool read_pending_ = false;
  bool write_pending_ = false;
  bool have_byte_ = false;
  unsigned char byte_ = 0;
  unsigned byte_generation_ = 0;
  std::atomic<unsigned> flush_generation_{0};
  std::vector<unsigned char> write_buffer_;

  HANDLE done_event_ = nullptr;
  std::function<void()> body_;
  bool background_ = false;
};

}  // namespace

std::unique_ptr<SerialBackend> make_platform_serial_backend() { return std::make_unique<Win32SerialBackend>(); }

}  // namespace vkt::link
