// Latency of the input path on Linux, from an input datagram in hand (as the receive
// thread gets it) to the event written: the filter's decision, the injector and the sink.
// For uinput the devices are pipes (the benchmark cannot count on /dev/uinput); for XTest
// the host's X connection to $DISPLAY (scripts/bench.sh starts a virtual one). Each path
// is printed as p50 and p95 beside its anchor, the bare write of the same events (a
// write() of the same frame, an XTest request and flush), and the ratio of the p50s.
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/input_injector.h"
#include "input/input_sink_linux.h"
#include "net/input_datagram_filter.h"
#include "platform/x11/x11_display_source.h"

namespace {

using namespace orvane;
namespace v1 = orvane::protocol::v1;
using Clock = std::chrono::steady_clock;

constexpr int kSamples = 20000;
constexpr int kWarmup = 500;
const DatagramSource kSource{"127.0.0.1", 40000};

struct Percentiles {
  double p50_us = 0;
  double p95_us = 0;
};

// Times `step` kSamples times after a warm-up; `between` runs untimed after each.
Percentiles Measure(const std::function<void(int)>& step, const std::function<void()>& between) {
  std::vector<double> samples;
  samples.reserve(kSamples);
  for (int i = -kWarmup; i < kSamples; ++i) {
    const auto start = Clock::now();
    step(i);
    const auto end = Clock::now();
    between();
    if (i >= 0) {
      samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
  }
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 95 / 100]};
}

std::vector<uint8_t> Serialized(const v1::InputEvent& event) {
  const std::string bytes = event.SerializeAsString();
  return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> TouchDatagram(v1::TouchAction action, float x) {
  v1::InputEvent event;
  v1::TouchEvent* touch = event.mutable_touch();
  touch->set_action(action);
  touch->set_pointer_id(1);
  touch->set_x_normalized(x);
  touch->set_y_normalized(0.5f);
  touch->set_pressure(0.5f);
  return Serialized(event);
}

std::vector<uint8_t> KeyDatagram(bool up) {
  v1::InputEvent event;
  event.mutable_key()->set_action(up ? v1::KEY_ACTION_KEY_UP : v1::KEY_ACTION_KEY_DOWN);
  event.mutable_key()->set_key_code(0x41);
  return Serialized(event);
}

// What the session does with one datagram: decide, then inject.
class InputPath {
 public:
  explicit InputPath(std::unique_ptr<InputSink> sink) : injector_(std::move(sink)) {}

  void Handle(const std::vector<uint8_t>& datagram) {
    const InputDecision decision =
        filter_.Decide(datagram, kSource, InputSessionState{true, kSource.address, {}});
    const v1::InputEvent& event = decision.event;
    if (event.has_touch()) {
      injector_.InjectTouch(event.touch().action(), event.touch().pointer_id(),
                            event.touch().x_normalized(), event.touch().y_normalized(),
                            event.touch().pressure());
    } else if (event.has_key()) {
      injector_.InjectKey(event.key().action(), event.key().key_code());
    }
  }

 private:
  InputDatagramFilter filter_;
  InputInjector injector_;
};

struct Pipe {
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
      std::perror("pipe2");
      std::exit(1);
    }
    read_fd = fds[0];
    write_fd = fds[1];
  }
  ~Pipe() { close(read_fd); }
  void Drain() const {
    char buffer[4096];
    while (read(read_fd, buffer, sizeof(buffer)) > 0) {
    }
  }
  int read_fd = -1;
  int write_fd = -1;  // handed to a device, which closes it
};

void Print(const char* path, const Percentiles& ours, const Percentiles& anchor) {
  std::printf("%-28s %9.2f %9.2f %12.2f %12.2f %7.2f\n", path, ours.p50_us, ours.p95_us,
              anchor.p50_us, anchor.p95_us, ours.p50_us / anchor.p50_us);
}

}  // namespace

int main() {
  std::printf("input datagram -> event written, %d samples each (microseconds)\n", kSamples);
  std::printf("%-28s %9s %9s %12s %12s %7s\n", "path", "p50", "p95", "anchor p50", "anchor p95",
              "ratio");

  {
    Pipe touch_pipe;
    Pipe pen_pipe;
    const DesktopRect desktop{0, 0, 1920, 1080};
    auto touch = std::make_unique<UinputTouchWriter>(
        std::make_unique<UinputDevice>(touch_pipe.write_fd), desktop.width, desktop.height);
    auto pen = std::make_unique<UinputPenWriter>(std::make_unique<UinputDevice>(pen_pipe.write_fd),
                                                 desktop.width, desktop.height);
    auto displays = std::make_shared<X11DisplaySource>();
    std::shared_ptr<X11Display> x11 = displays->Get();
    if (x11 == nullptr) {
      std::fprintf(stderr, "input_latency_bench: no X display; run it through scripts/bench.sh\n");
      return 1;
    }
    InputPath path(
        std::make_unique<LinuxInputSink>(displays, x11, std::move(touch), std::move(pen)));
    path.Handle(TouchDatagram(v1::TOUCH_ACTION_DOWN, 0.5f));
    const Percentiles ours = Measure(
        [&](int i) { path.Handle(TouchDatagram(v1::TOUCH_ACTION_MOVE, (i & 255) / 256.0f)); },
        [&] { touch_pipe.Drain(); });

    Pipe anchor_pipe;
    UinputDevice anchor_device(anchor_pipe.write_fd);
    const Percentiles anchor = Measure(
        [&](int i) {
          std::vector<input_event> frame = {UinputEvent(EV_ABS, ABS_MT_SLOT, 0),
                                            UinputEvent(EV_ABS, ABS_MT_POSITION_X, i & 1023),
                                            UinputEvent(EV_ABS, ABS_MT_POSITION_Y, 539),
                                            UinputEvent(EV_ABS, ABS_MT_PRESSURE, 512),
                                            UinputEvent(EV_ABS, ABS_X, i & 1023),
                                            UinputEvent(EV_ABS, ABS_Y, 539)};
          anchor_device.WriteFrame(frame);
        },
        [&] { anchor_pipe.Drain(); });
    Print("touch move, uinput (pipe)", ours, anchor);
  }

  auto displays = std::make_shared<X11DisplaySource>();
  std::shared_ptr<X11Display> x11 = displays->Get();
  xcb_connection_t* connection = x11->connection();
  // Untimed: lets the server catch up, so each sample starts from an idle connection.
  const auto sync = [connection] {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  };
  InputPath path(std::make_unique<LinuxInputSink>(displays, x11, nullptr, nullptr));
  const Percentiles anchor_motion = Measure(
      [&](int i) {
        xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, x11->root(),
                            static_cast<int16_t>(i & 1023), 540, 0);
        xcb_flush(connection);
      },
      sync);
  const Percentiles motion = Measure(
      [&](int i) { path.Handle(TouchDatagram(v1::TOUCH_ACTION_MOVE, (i & 255) / 256.0f)); }, sync);
  Print("touch move, XTest mouse", motion, anchor_motion);

  const Percentiles anchor_key = Measure(
      [&](int i) {
        xcb_test_fake_input(connection, (i & 1) != 0 ? XCB_KEY_RELEASE : XCB_KEY_PRESS, 38,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection);
      },
      sync);
  const Percentiles key = Measure([&](int i) { path.Handle(KeyDatagram((i & 1) != 0)); }, sync);
  Print("key, XTest", key, anchor_key);
  return 0;
}
