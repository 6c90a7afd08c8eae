// The serial port over real pseudo-terminals: the port opens COM1, which the
// test's device folder links to a pseudo-terminal slave, and the test plays
// the logger on the master side.
#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "link/serial_backend.h"
#include "support/eventually.h"
#include "support/pty_pair.h"

namespace vkt::link {
namespace {

using namespace std::chrono_literals;
using vkt::test::DevRoot;
using vkt::test::PtyPair;

// Generous: only a broken port ever waits this long.
constexpr auto kDeadline = 5s;

bool eventually(const std::function<bool()>& condition) { return vkt::testing::eventually(condition, kDeadline); }

// Bytes 0, 1, ... 255, 0, 1, ... with a period that differs from every
// buffer size, so that a lost, doubled or reordered block shows.
std::string pattern(std::size_t size, std::size_t offset = 0) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i + offset) % 251);
  return text;
}

std::string read_block(SerialPort& port, uint16_t count) {
  std::string text(count, '\0');
  port.ReadBlock(text.data(), count);
  return text;
}

// The platform backend with a count of the waits of the port's background
// thread: a thread that sleeps as it should leaves the count alone.
class CountingBackend final : public SerialBackend {
 public:
  explicit CountingBackend(std::shared_ptr<std::atomic<int>> waits)
      : inner_(make_platform_serial_backend()), waits_(std::move(waits)) {}

  std::string device_path(uint16_t port_number) const override {
    return inner_->device_path(port_number);
  }
  void open(const std::string& path) override { inner_->open(path); }
  void configure(const LineSettings& settings) override { inner_->configure(settings); }
  IoResult read(void* buffer, std::size_t size) override { return inner_->read(buffer, size); }
  IoResult write(const void* data, std::size_t size) override {
    return inner_->write(data, size);
  }
  Readiness wait(bool want_read, bool want_write, bool watch_device) override {
    ++*waits_;
    return inner_->wait(want_read, want_write, watch_device);
  }
  void wake() override { inner_->wake(); }
  bool reads_on_host_thread() const override { return host_reads_ && inner_->reads_on_host_thread(); }
  bool wait_readable(std::chrono::milliseconds timeout) override { return inner_->wait_readable(timeout); }
  void flush_input() override { inner_->flush_input(); }
  void flush_output() override { inner_->flush_output(); }
  void close() override { inner_->close(); }
  bool is_open() const override { return inner_->is_open(); }

  bool host_reads_ = true;  // false: a platform whose device only the I/O thread reads

 private:
  std::unique_ptr<SerialBackend> inner_;
  std::shared_ptr<std::atomic<int>> waits_;
};

// True when the background thread stays asleep for a while: at most one
// more wait begins (the one it was heading for), where a spinning thread
// would begin thousands.
bool stays_asleep(const std::atomic<int>& waits) {
  std::this_thread::sleep_for(30ms);
  const int before = waits.load();
  std::this_thread::sleep_for(150ms);
  return waits.load() - before <= 1;
}

class SerialPortTest : public ::testing::Test {
 protected:
  std::unique_ptr<CountingBackend> make_backend() {
    auto backend = std::make_unique<CountingBackend>(waits_);
    backend_ = backend.get();
    return backend;
  }

  SerialPortTest()
      : pty_(std::make_unique<PtyPair>()),
        waits_(std::make_shared<std::atomic<int>>(0)),
        port_(make_backend()) {
    dev_.link("ttyUSB0", pty_->slave_path());
  }

  // The line settings the library applies before each open.
  static void set_logger_line(SerialPort& port, uint16_t com = 1) {
    port.InSize = 8192;
    port.ComNumber = com;
    port.DataBits = 8;
    port.parity = Parity::pNone;
    port.Baud = 19200;
    port.StopBits = 1;
    port.SWFlowOptions = SWFlow::swfNone;
  }

  void open_com1() {
    set_logger_line(port_);
    port_.set_open(true);
    ASSERT_TRUE(port_.is_open());
  }

  // Sends `text` from the device side and waits until the port holds
  // `expected_waiting` bytes in all.
  void receive(const std::string& text, uint32_t expected_waiting) {
    ASSERT_EQ(pty_->write(text), text.size());
    ASSERT_TRUE(eventually([&] { return port_.InBuffUsed() == expected_waiting; }))
        << "waiting: " << port_.InBuffUsed();
  }

  // The slave side once more, for line settings and flow control; opened
  // before the port so that the port's exclusive hold does not refuse it.
  int open_observer() {
    observer_fd_ = pty_->open_slave();
    EXPECT_GE(observer_fd_, 0) << std::strerror(errno);
    return observer_fd_;
  }

  ~SerialPortTest() override {
    if (observer_fd_ >= 0) ::close(observer_fd_);
  }

  DevRoot dev_;
  std::unique_ptr<PtyPair> pty_;
  std::shared_ptr<std::atomic<int>> waits_;
  CountingBackend* backend_ = nullptr;  // owned by port_
  SerialPort port_;
  int observer_fd_ = -1;
};

// ---------------------------------------------------------------- opening

TEST_F(SerialPortTest, PortZeroIsNotSelected) {
  port_.ComNumber = 0;
  try {
    port_.set_open(true);
    FAIL() << "opened port 0";
  } catch (const ENoPortSelected& error) {
    EXPECT_EQ(error.code(), -2011);
    EXPECT_STREQ(error.what(), "The ComNumber property of the TApdComPort has not been set");
  }
  EXPECT_FALSE(port_.is_open());
  EXPECT_EQ(port_.state(), PortState::Closed);
}

TEST_F(SerialPortTest, NumbersWithoutADeviceAreBadIdsAndLeaveThePortReusable) {
  dev_.link("ttyUSB2", dev_.path() + "/nothing-here");  // a link to nowhere
  for (uint16_t com : {2, 3, 73, 65535}) {
    port_.ComNumber = com;
    try {
      port_.set_open(true);
      FAIL() << "opened COM" << com;
    } catch (const EBadId& error) {
      EXPECT_EQ(error.code(), -2001);
      EXPECT_STREQ(error.what(), "ie_BadId - Specified comport doesn't exist");
    }
    EXPECT_FALSE(port_.is_open());
  }
  open_com1();
}

TEST_F(SerialPortTest, OtherSystemFailuresCarryTheSystemErrorAndReleaseTheDevice) {
  const std::string plain_file = dev_.path() + "/plain";
  std::ofstream(plain_file) << "not a terminal";
  dev_.link("ttyUSB1", plain_file);
  port_.ComNumber = 2;
  try {
    port_.set_open(true);
    FAIL() << "opened a plain file";
  } catch (const EAPDException&) {
    FAIL() << "a system failure must not look like one of the port's own errors";
  } catch (const PortIoError& error) {
    EXPECT_EQ(error.code(), -ENOTTY);
    EXPECT_EQ(std::string(error.what()), std::strerror(ENOTTY));
  }
  EXPECT_EQ(port_.state(), PortState::Closed);

  // A line the terminal cannot take fails after the device was opened; the
  // device must be released again.
  set_logger_line(port_);
  port_.Baud = 12345;
  EXPECT_THROW(port_.set_open(true), PortIoError);
  EXPECT_FALSE(port_.is_open());
  SerialPort other;
  set_logger_line(other);
  other.set_open(true);
  EXPECT_TRUE(other.is_open());
}

TEST_F(SerialPortTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
  open_com1();
  SerialPort second;
  set_logger_line(second);
  try {
    second.set_open(true);
    FAIL() << "two ports hold COM1";
  } catch (const EAlreadyOpen& error) {
    EXPECT_EQ(error.code(), -2008);
    EXPECT_STREQ(error.what(), "ie_Open - device already open");
  }
  EXPECT_FALSE(second.is_open());

  // The refused opener must not have disturbed the first.
  receive("still here", 10);
  EXPECT_EQ(read_block(port_, 10), "still here");

  port_.set_open(false);
  second.set_open(true);
  EXPECT_TRUE(second.is_open());
}

TEST_F(SerialPortTest, ADeviceLockedByAnotherProgramIsRefused) {
  const int holder = pty_->open_slave();
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  port_.ComNumber = 1;
  EXPECT_THROW(port_.set_open(true), EAlreadyOpen);
  EXPECT_FALSE(port_.is_open());
  ::close(holder);
  open_com1();
}

TEST_F(SerialPortTest, OpenAppliesTheLoggerLineRawAndWithoutFlowControl) {
  const int observer = open_observer();
  // Start from a line with every handshake on, so that the port has to
  // switch them off rather than find them off.
  termios before{};
  ASSERT_EQ(::tcgetattr(observer, &before), 0);
  before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
  before.c_iflag |= IXON | IXOFF | ICRNL | INPCK;
  ASSERT_EQ(::tcsetattr(observer, TCSANOW, &before), 0);

  open_com1();
  termios line{};
  ASSERT_EQ(::tcgetattr(observer, &line), 0);
  EXPECT_EQ(::cfgetispeed(&line), B19200);
  EXPECT_EQ(::cfgetospeed(&line), B19200);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | INPCK | PARMRK), 0u);
  port_.set_open(false);

  // The other line properties reach the device as well (a pseudo-terminal
  // keeps every character 8 bits wide without parity, so only the parity
  // sense and the stop bits show).
  set_logger_line(port_);
  port_.Baud = 115200;
  port_.parity = Parity::pOdd;
  port_.StopBits = 2;
  port_.SWFlowOptions = SWFlow::swfBoth;
  port_.set_open(true);
  ASSERT_EQ(::tcgetattr(observer, &line), 0);
  EXPECT_EQ(::cfgetospeed(&line), B115200);
  EXPECT_EQ(line.c_cflag & (PARODD | CSTOPB), static_cast<tcflag_t>(PARODD | CSTOPB));
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(line.c_iflag & INPCK, 0u);
}

TEST_F(SerialPortTest, OpenOnAnOpenPortAndCloseOnAClosedPortDoNothing) {
  port_.set_open(false);
  EXPECT_EQ(port_.state(), PortState::Closed);
  open_com1();
  port_.ComNumber = 5;  // no device: a real second open would throw
  port_.set_open(true);
  EXPECT_TRUE(port_.is_open());
  receive("x", 1);
}

// ---------------------------------------------------------------- data

TEST_F(SerialPortTest, EveryByteValuePassesUnchangedBothWays) {
  open_com1();
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);

  EXPECT_FALSE(port_.InputReady());
  receive(all, 256);
  EXPECT_TRUE(port_.InputReady());
  EXPECT_EQ(read_block(port_, 256), all);
  EXPECT_FALSE(port_.InputReady());

  port_.WriteString(all);
  EXPECT_EQ(pty_->read_exact(256), all);
  EXPECT_TRUE(eventually([&] { return port_.pending_output() == 0; }));
}

TEST_F(SerialPortTest, WaitForInputWakesOnArrivalAndOtherwiseTimesOut) {
  open_com1();
  EXPECT_FALSE(port_.wait_for_input(10ms));
  std::thread device([&] {
    std::this_thread::sleep_for(20ms);
    pty_->write("#");
  });
  EXPECT_TRUE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
  device.join();
  EXPECT_EQ(port_.InBuffUsed(), 1u);
  EXPECT_TRUE(port_.wait_for_input(0ms));  // bytes already waiting
}

TEST_F(SerialPortTest, ReadBlockTakesExactlyWhatIsAskedOrNothing) {
  open_com1();
  receive("abcde", 5);
  try {
    read_block(port_, 6);
    FAIL() << "read more bytes than were waiting";
  } catch (const EBufferIsEmpty& error) {
    EXPECT_EQ(error.code(), -3007);
    EXPECT_STREQ(error.what(), "Buffer is empty");
  }
  EXPECT_EQ(port_.InBuffUsed(), 5u);
  char untouched = '?';
  port_.ReadBlock(&untouched, 0);
  EXPECT_EQ(untouched, '?');
  EXPECT_EQ(read_block(port_, 2), "ab");
  EXPECT_EQ(read_block(port_, 3), "cde");
  EXPECT_THROW(read_block(port_, 1), EBufferIsEmpty);
}

TEST_F(SerialPortTest, MoreThanTheRingHoldsWaitsInTheDeviceAndArrivesInOrder) {
  open_com1();
  constexpr std::size_t kTotal = 12000;
  const std::string sent = pattern(kTotal);
  // The ring fills; the rest has to stay in the device's queue.
  ASSERT_EQ(pty_->write(sent), kTotal);
  ASSERT_TRUE(eventually([&] { return port_.InBuffUsed() == SerialPort::kReceiveRingSize; }));
  EXPECT_TRUE(stays_asleep(*waits_)) << "the receiver spins while the ring is full";
  EXPECT_EQ(port_.InBuffUsed(), SerialPort::kReceiveRingSize);

  // Taking a little makes room that the receiver fills from the device.
  std::string got = read_block(port_, 100);
  ASSERT_TRUE(eventually([&] { return port_.InBuffUsed() == SerialPort::kReceiveRingSize; }));
  got += read_block(port_, static_cast<uint16_t>(SerialPort::kReceiveRingSize));
  const auto rest = static_cast<uint16_t>(kTotal - got.size());
  ASSERT_TRUE(eventually([&] { return port_.InBuffUsed() == rest; }));
  got += read_block(port_, rest);
  EXPECT_TRUE(got == sent) << "bytes lost or reordered";
}

TEST_F(SerialPortTest, OutputLeavesInOrderAcrossTheRingsEnd) {
  open_com1();
  std::string sent;
  std::string got;
  for (std::size_t block = 0; block < 5; ++block) {
    const std::string text = pattern(3000, block * 3000);
    port_.WriteString(text);
    sent += text;
    got += pty_->read_exact(text.size());
  }
  EXPECT_TRUE(got == sent) << "bytes lost or reordered";
}

TEST_F(SerialPortTest, WriteBeyondTheFreeRoomQueuesNothing) {
  open_com1();
  // Stop the terminal's output so that queued bytes stay queued.
  ASSERT_EQ(::tcflow(open_observer(), TCOOFF), 0);
  port_.WriteString("");
  EXPECT_EQ(port_.pending_output(), 0u);
  EXPECT_THROW(port_.WriteString(std::string(4097, 'x')), EOutputBufferTooSmall);
  port_.WriteString(pattern(3000));
  try {
    port_.WriteString(std::string(1097, 'x'));
    FAIL() << "queued more than the output ring holds";
  } catch (const EOutputBufferTooSmall& error) {
    EXPECT_EQ(error.code(), -3006);
    EXPECT_STREQ(error.what(), "Output buffer too small for block");
  }
  EXPECT_EQ(port_.pending_output(), 3000u);
  port_.WriteString(pattern(1096, 3000));
  EXPECT_EQ(port_.pending_output(), 4096u);

  ASSERT_EQ(::tcflow(observer_fd_, TCOON), 0);
  EXPECT_TRUE(pty_->read_exact(4096) == pattern(4096));
}

TEST_F(SerialPortTest, FlushInputDropsEarlierBytesOnly) {
  open_com1();
  // Fill the ring and leave more in the device queue; both go.
  ASSERT_EQ(pty_->write(pattern(9000)), 9000u);
  ASSERT_TRUE(eventually([&] { return port_.InBuffUsed() == SerialPort::kReceiveRingSize; }));
  port_.FlushInput();
  EXPECT_EQ(port_.InBuffUsed(), 0u);

  receive("later", 5);
  EXPECT_EQ(read_block(port_, 5), "later");
}

// ---------------------------------------------------------------- closing

TEST_F(SerialPortTest, ClosingDiscardsUnsentOutputAndUnreadInput) {
  open_com1();
  receive("unread", 6);
  ASSERT_EQ(::tcflow(open_observer(), TCOOFF), 0);
  port_.WriteString(std::string(4000, 'U'));
  EXPECT_EQ(port_.pending_output(), 4000u);

  port_.set_open(false);
  EXPECT_EQ(port_.state(), PortState::Closed);
  EXPECT_EQ(port_.pending_output(), 0u);
  ASSERT_EQ(::tcflow(observer_fd_, TCOON), 0);

  port_.set_open(true);
  EXPECT_EQ(port_.InBuffUsed(), 0u);
  port_.WriteString("fresh");
  // Nothing of the discarded block comes before the new text.
  EXPECT_EQ(pty_->read_exact(5), "fresh");
  receive("new", 3);
  EXPECT_EQ(read_block(port_, 3), "new");
}

TEST_F(SerialPortTest, AClosedPortRefusesEveryOperationButTheCount) {
  char byte = 0;
  auto expect_not_open = [](const std::function<void()>& operation) {
    try {
      operation();
      ADD_FAILURE() << "an operation worked on a closed port";
    } catch (const ECommNotOpen& error) {
      EXPECT_EQ(error.code(), -2007);
      EXPECT_STREQ(error.what(), "ie_NOpen - device not open");
    }
  };
  for (int round = 0; round < 2; ++round) {  // never opened, then opened and closed
    EXPECT_EQ(port_.InBuffUsed(), 0u);
    EXPECT_FALSE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
    expect_not_open([&] { port_.InputReady(); });
    expect_not_open([&] { port_.ReadBlock(&byte, 1); });
    expect_not_open([&] { port_.ReadBlock(&byte, 0); });
    expect_not_open([&] { port_.WriteString("p"); });
    expect_not_open([&] { port_.WriteString(""); });
    expect_not_open([&] { port_.FlushInput(); });
    open_com1();
    receive("left behind", 11);
    port_.set_open(false);
  }
}

TEST_F(SerialPortTest, HandlersRunningDuringTheCloseSeeAClosingPort) {
  open_com1();
  receive("abc", 3);
  int calls = 0;
  port_.set_close_wait_hook([&] {
    ++calls;
    EXPECT_EQ(port_.state(), PortState::Closing);
    EXPECT_FALSE(port_.is_open());
    EXPECT_FALSE(port_.InputReady());
    char buffer[3] = {};
    port_.ReadBlock(buffer, 3);
    port_.WriteString("ignored");
    port_.FlushInput();
    port_.set_open(true);  // neither reopens nor throws
    port_.set_open(false);
    EXPECT_FALSE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
  });
  port_.set_open(false);
  EXPECT_GE(calls, 1);
  EXPECT_EQ(port_.state(), PortState::Closed);
  EXPECT_EQ(pty_->read_until_quiet(50ms), "");
}

TEST_F(SerialPortTest, DestroyingAnOpenPortReleasesTheDevice) {
  {
    SerialPort doomed;
    set_logger_line(doomed);
    doomed.set_open(true);
    doomed.WriteString("bye");
  }
  open_com1();
}

// ---------------------------------------------------------------- idle and hang-up

TEST_F(SerialPortTest, AnIdlePortSleeps) {
  open_com1();
  EXPECT_TRUE(stays_asleep(*waits_));
}

TEST_F(SerialPortTest, HangUpKeepsWhatArrivedAndAllowsCloseAndReopen) {
  open_com1();
  receive("last words", 10);
  pty_->close_master();
  ASSERT_TRUE(eventually([&] { return port_.device_gone(); }));
  EXPECT_TRUE(stays_asleep(*waits_)) << "the receiver spins on a hung-up device";

  EXPECT_TRUE(port_.is_open());
  EXPECT_EQ(port_.InBuffUsed(), 10u);
  EXPECT_TRUE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
  EXPECT_EQ(read_block(port_, 10), "last words");
  EXPECT_FALSE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
  port_.WriteString("into the void");
  port_.FlushInput();
  EXPECT_EQ(port_.pending_output(), 0u);

  port_.set_open(false);
  EXPECT_EQ(port_.state(), PortState::Closed);
  EXPECT_FALSE(port_.device_gone());

  // Unplugged: the device node disappears, then a new one takes its place.
  dev_.remove("ttyUSB0");
  EXPECT_THROW(port_.set_open(true), EBadId);
  pty_ = std::make_unique<PtyPair>();
  dev_.link("ttyUSB0", pty_->slave_path());
  port_.set_open(true);
  EXPECT_TRUE(port_.is_open());
  EXPECT_FALSE(port_.device_gone());
  receive("back", 4);
  EXPECT_EQ(read_block(port_, 4), "back");
  port_.WriteString("hello");
  EXPECT_EQ(pty_->read_exact(5), "hello");
}

TEST_F(SerialPortTest, HangUpWithAFullRingEndsReceptionToo) {
  open_com1();
  ASSERT_EQ(pty_->write(pattern(9000)), 9000u);
  ASSERT_TRUE(eventually([&] { return port_.InBuffUsed() == SerialPort::kReceiveRingSize; }));
  pty_->close_master();
  // The receiver is not reading (no room), yet it must notice the hang-up
  // and stop watching the device instead of being woken by it forever.
  ASSERT_TRUE(eventually([&] { return port_.device_gone(); }));
  EXPECT_TRUE(stays_asleep(*waits_)) << "the receiver spins on a hung-up device";
  EXPECT_TRUE(read_block(port_, SerialPort::kReceiveRingSize) == pattern(SerialPort::kReceiveRingSize));
  port_.set_open(false);
}

// ---------------------------------------------------------------- direct reception

// Takes what the port holds until `count` bytes came, waiting on the port
// between takes.
std::string take(SerialPort& port, std::size_t count) {
  std::string got;
  vkt::testing::eventually(
      [&] {
        char chunk[SerialPort::kReceiveRingSize];
        got.append(chunk, port.TakeAvailable(chunk, std::min(sizeof chunk, count - got.size())));
        return got.size() >= count;
      },
      kDeadline, [&] { port.wait_for_input(50ms); });
  return got;
}

TEST_F(SerialPortTest, DirectReceptionTakesTheRingFirstThenTheDeviceInOrder) {
  open_com1();
  const std::string sent = pattern(40000);
  receive(sent.substr(0, 3000), 3000);  // already in the ring
  port_.set_direct_receive(true);
  ASSERT_TRUE(port_.direct_receive());

  // More than the ring and the device's queue hold: the writer waits for
  // the reader.
  std::thread device([&] { pty_->write(std::string_view(sent).substr(3000), std::chrono::milliseconds(kDeadline)); });
  std::string got = take(port_, 1000);
  got += take(port_, sent.size() - got.size());
  device.join();
  EXPECT_TRUE(got == sent) << "bytes lost or reordered: " << got.size() << " of " << sent.size();

  // The background thread leaves the device to the reader.
  ASSERT_EQ(pty_->write("late"), 4u);
  EXPECT_TRUE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(port_.InBuffUsed(), 0u);
  EXPECT_TRUE(stays_asleep(*waits_)) << "the receiver spins while the reader reads the device";
  EXPECT_EQ(take(port_, 4), "late");
  EXPECT_FALSE(port_.wait_for_input(10ms));

  // Off again: the ring receives once more.
  port_.set_direct_receive(false);
  receive("ring", 4);
  EXPECT_EQ(read_block(port_, 4), "ring");
}

TEST_F(SerialPortTest, DirectReceptionEndsWithTheCloseAndNeedsAnOpenPort) {
  port_.set_direct_receive(true);
  EXPECT_FALSE(port_.direct_receive());
  char byte;
  EXPECT_THROW(port_.TakeAvailable(&byte, 1), ECommNotOpen);

  open_com1();
  port_.set_direct_receive(true);
  ASSERT_TRUE(port_.direct_receive());
  port_.set_open(false);
  EXPECT_FALSE(port_.direct_receive());
  port_.set_open(true);
  EXPECT_FALSE(port_.direct_receive());
  receive("ring", 4);
}

TEST_F(SerialPortTest, DirectReceptionSeesTheHangUp) {
  open_com1();
  port_.set_direct_receive(true);
  ASSERT_EQ(pty_->write("last words"), 10u);
  EXPECT_EQ(take(port_, 10), "last words");
  pty_->close_master();  // the line hangs up
  ASSERT_TRUE(eventually([&] {
    char byte;
    port_.wait_for_input(10ms);
    return port_.TakeAvailable(&byte, 1) == 0 && port_.device_gone();
  }));
  EXPECT_TRUE(stays_asleep(*waits_)) << "the receiver spins on a hung-up device";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port_.wait_for_input(std::chrono::milliseconds(kDeadline)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  port_.set_open(false);
}

TEST_F(SerialPortTest, WithoutReadsOnTheHostThreadDirectReceptionKeepsTheRing) {
  backend_->host_reads_ = false;
  open_com1();
  port_.set_direct_receive(true);
  EXPECT_FALSE(port_.direct_receive());
  receive("abc", 3);
  EXPECT_EQ(take(port_, 3), "abc");
}

}  // namespace
}  // namespace vkt::link
