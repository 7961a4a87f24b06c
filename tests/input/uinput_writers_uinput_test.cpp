#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <tuple>
#include <vector>

#include "input/input_injector.h"
#include "input/uinput_pen_writer_uinput.h"
#include "input/uinput_touch_writer_uinput.h"

namespace orvane::testing {
namespace {

using Event = std::tuple<uint16_t, uint16_t, int32_t>;  // type, code, value
const Event kSyn{EV_SYN, SYN_REPORT, 0};

constexpr DesktopRect kDesktop{0, 0, 1280, 720};

// The event stream a device would have received, read back from a pipe.
class EventPipe {
 public:
  EventPipe() {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    read_fd_ = fds[0];
    write_fd_ = fds[1];
  }
  ~EventPipe() { close(read_fd_); }

  // The writing end, handed to the device once.
  std::unique_ptr<UinputDevice> Device() { return std::make_unique<UinputDevice>(write_fd_); }

  std::vector<Event> Take() {
    std::vector<Event> events;
    input_event event{};
    while (read(read_fd_, &event, sizeof(event)) == static_cast<ssize_t>(sizeof(event))) {
      events.emplace_back(event.type, event.code, event.value);
    }
    return events;
  }

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
};

// The injector over a sink that writes to pipes as the Linux devices would be written.
class PipeSink : public InputSink {
 public:
  PipeSink(EventPipe& touch, EventPipe& pen)
      : touch_(touch.Device(), kDesktop.width, kDesktop.height),
        pen_(pen.Device(), kDesktop.width, kDesktop.height) {}

  bool touch_available() const override { return true; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override {
    return touch_.Write(contacts, kDesktop);
  }
  bool pen_available() const override { return true; }
  SinkResult InjectPen(const PenSample& sample) override { return pen_.Write(sample, kDesktop); }
  void SendMouse(const MouseRecord&) override { ADD_FAILURE() << "no mouse expected"; }
  void SendKey(const KeyRecord&) override {}
  DesktopRect Desktop() override { return kDesktop; }

 private:
  UinputTouchWriter touch_;
  UinputPenWriter pen_;
};

class UinputStreamTest : public ::testing::Test {
 protected:
  EventPipe touch_;
  EventPipe pen_;
  InputInjector injector_{std::make_unique<PipeSink>(touch_, pen_)};
};

TEST_F(UinputStreamTest, ATwoFingerGestureUsesOneSlotPerFinger) {
  injector_.InjectTouch(0, 7, 0.25f, 0.5f, 0.5f);  // first finger down
  injector_.InjectTouch(0, 8, 0.75f, 0.5f, 1.0f);  // second finger down
  injector_.InjectTouch(1, 7, 0.5f, 0.25f, 0.5f);  // first finger moves
  injector_.InjectTouch(2, 7, 0.5f, 0.25f, 0.0f);  // first finger lifts
  injector_.InjectTouch(1, 8, 0.5f, 1.0f, 0.25f);  // the second moves on alone
  injector_.InjectTouch(2, 8, 0.5f, 1.0f, 0.0f);   // and lifts
  EXPECT_EQ(touch_.Take(), (std::vector<Event>{
                               {EV_ABS, ABS_MT_SLOT, 0},
                               {EV_ABS, ABS_MT_TRACKING_ID, 100},
                               {EV_ABS, ABS_MT_POSITION_X, 319},
                               {EV_ABS, ABS_MT_POSITION_Y, 359},
                               {EV_ABS, ABS_MT_PRESSURE, 512},
                               {EV_ABS, ABS_X, 319},
                               {EV_ABS, ABS_Y, 359},
                               {EV_KEY, BTN_TOUCH, 1},
                               kSyn,
                               {EV_ABS, ABS_MT_SLOT, 1},
                               {EV_ABS, ABS_MT_TRACKING_ID, 101},
                               {EV_ABS, ABS_MT_POSITION_X, 959},
                               {EV_ABS, ABS_MT_POSITION_Y, 359},
                               {EV_ABS, ABS_MT_PRESSURE, 1024},
                               kSyn,
                               {EV_ABS, ABS_MT_SLOT, 0},
                               {EV_ABS, ABS_MT_POSITION_X, 639},
                               {EV_ABS, ABS_MT_POSITION_Y, 179},
                               {EV_ABS, ABS_MT_PRESSURE, 512},
                               {EV_ABS, ABS_X, 639},
                               {EV_ABS, ABS_Y, 179},
                               kSyn,
                               {EV_ABS, ABS_MT_SLOT, 0},
                               {EV_ABS, ABS_MT_TRACKING_ID, -1},
                               kSyn,
                               {EV_ABS, ABS_MT_SLOT, 1},
                               {EV_ABS, ABS_MT_POSITION_X, 639},
                               {EV_ABS, ABS_MT_POSITION_Y, 719},
                               {EV_ABS, ABS_MT_PRESSURE, 256},
                               kSyn,
                               {EV_ABS, ABS_MT_SLOT, 1},
                               {EV_ABS, ABS_MT_TRACKING_ID, -1},
                               {EV_KEY, BTN_TOUCH, 0},
                               kSyn,
                           }));
  EXPECT_TRUE(pen_.Take().empty());
}

TEST_F(UinputStreamTest, APenStrokeHoversTouchesPressesTheBarrelAndLifts) {
  injector_.InjectTouch(0, 1, 0.1f, 0.1f, 0.5f);  // a resting palm
  touch_.Take();
  injector_.InjectPen(3, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0);    // hover enter
  injector_.InjectPen(0, 0.5f, 0.5f, 0.5f, 0.5f, -0.5f, -0.5f, 0);  // touch down
  injector_.InjectPen(1, 0.25f, 0.5f, 1.0f, 0.0f, 0.0f, 0.0f, 1);   // drag with the barrel
  injector_.InjectPen(2, 0.25f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0);   // lift
  injector_.InjectPen(5, 0.25f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0);   // out of range
  EXPECT_EQ(pen_.Take(), (std::vector<Event>{
                             {EV_ABS, ABS_X, 639},         {EV_ABS, ABS_Y, 359},
                             {EV_ABS, ABS_PRESSURE, 0},    {EV_ABS, ABS_TILT_X, 0},
                             {EV_ABS, ABS_TILT_Y, 0},      {EV_ABS, ABS_Z, 0},
                             {EV_KEY, BTN_TOOL_PEN, 1},    {EV_KEY, BTN_TOUCH, 0},
                             {EV_KEY, BTN_STYLUS, 0},      kSyn,
                             {EV_ABS, ABS_X, 639},         {EV_ABS, ABS_Y, 359},
                             {EV_ABS, ABS_PRESSURE, 512},  {EV_ABS, ABS_TILT_X, 28},
                             {EV_ABS, ABS_TILT_Y, -28},    {EV_ABS, ABS_Z, 331},
                             {EV_KEY, BTN_TOOL_PEN, 1},    {EV_KEY, BTN_TOUCH, 1},
                             {EV_KEY, BTN_STYLUS, 0},      kSyn,
                             {EV_ABS, ABS_X, 319},         {EV_ABS, ABS_Y, 359},
                             {EV_ABS, ABS_PRESSURE, 1024}, {EV_ABS, ABS_TILT_X, 0},
                             {EV_ABS, ABS_TILT_Y, 0},      {EV_ABS, ABS_Z, 0},
                             {EV_KEY, BTN_TOOL_PEN, 1},    {EV_KEY, BTN_TOUCH, 1},
                             {EV_KEY, BTN_STYLUS, 1},      kSyn,
                             {EV_ABS, ABS_X, 319},         {EV_ABS, ABS_Y, 359},
                             {EV_ABS, ABS_PRESSURE, 0},    {EV_ABS, ABS_TILT_X, 0},
                             {EV_ABS, ABS_TILT_Y, 0},      {EV_ABS, ABS_Z, 0},
                             {EV_KEY, BTN_TOOL_PEN, 1},    {EV_KEY, BTN_TOUCH, 0},
                             {EV_KEY, BTN_STYLUS, 0},      kSyn,
                             {EV_KEY, BTN_TOOL_PEN, 0},    {EV_KEY, BTN_TOUCH, 0},
                             {EV_KEY, BTN_STYLUS, 0},      kSyn,
                         }));
  // The pen's touch-down lifted the palm.
  EXPECT_EQ(touch_.Take(), (std::vector<Event>{
                               {EV_ABS, ABS_MT_SLOT, 0},
                               {EV_ABS, ABS_MT_TRACKING_ID, -1},
                               {EV_KEY, BTN_TOUCH, 0},
                               kSyn,
                           }));
}

TEST(UinputTouchWriterTest, AnEleventhFingerFindsNoSlotAndNothingIsWritten) {
  EventPipe pipe;
  UinputTouchWriter writer(pipe.Device(), 100, 100);
  for (uint32_t id = 100; id < 110; ++id) {
    const TouchContact contact{id, 1, 1, 1, pointer_flag::kDown};
    ASSERT_TRUE(writer.Write({&contact, 1}, {0, 0, 100, 100}).ok);
  }
  pipe.Take();
  const TouchContact eleventh{110, 1, 1, 1, pointer_flag::kDown};
  const SinkResult result = writer.Write({&eleventh, 1}, {0, 0, 100, 100});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<uint32_t>(ENOSPC));
  EXPECT_TRUE(pipe.Take().empty());
}

TEST(UinputTouchWriterTest, AFrameThatRepeatsHeldContactsUnchangedWritesNothing) {
  EventPipe pipe;
  UinputTouchWriter writer(pipe.Device(), 100, 100);
  constexpr uint32_t kHeld = pointer_flag::kUpdate | pointer_flag::kInContact;
  const TouchContact down{100, 10, 10, 5, pointer_flag::kDown | pointer_flag::kPrimary};
  ASSERT_TRUE(writer.Write({&down, 1}, {0, 0, 100, 100}).ok);
  pipe.Take();
  const TouchContact held{100, 10, 10, 5, kHeld | pointer_flag::kPrimary};
  ASSERT_TRUE(writer.Write({&held, 1}, {0, 0, 100, 100}).ok);
  EXPECT_TRUE(pipe.Take().empty());
  // Pressure alone is a change.
  const TouchContact pressed{100, 10, 10, 6, kHeld};
  ASSERT_TRUE(writer.Write({&pressed, 1}, {0, 0, 100, 100}).ok);
  EXPECT_EQ(pipe.Take(), (std::vector<Event>{{EV_ABS, ABS_MT_SLOT, 0},
                                             {EV_ABS, ABS_MT_POSITION_X, 10},
                                             {EV_ABS, ABS_MT_POSITION_Y, 10},
                                             {EV_ABS, ABS_MT_PRESSURE, 6},
                                             kSyn}));
}

TEST(UinputTouchWriterTest, ADesktopResizedAfterTheDeviceWasMadeIsScaledOntoItsAxes) {
  EventPipe pipe;
  UinputTouchWriter writer(pipe.Device(), 1280, 720);
  const TouchContact contact{100, 1919, 1079, 7, pointer_flag::kDown};
  ASSERT_TRUE(writer.Write({&contact, 1}, {0, 0, 1920, 1080}).ok);
  const std::vector<Event> events = pipe.Take();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[2], (Event{EV_ABS, ABS_MT_POSITION_X, 1279}));
  EXPECT_EQ(events[3], (Event{EV_ABS, ABS_MT_POSITION_Y, 719}));
}

TEST(UinputTouchWriterTest, AFailedWriteReportsItsError) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);  // nobody reads: writing fails with EPIPE
  signal(SIGPIPE, SIG_IGN);
  UinputTouchWriter writer(std::make_unique<UinputDevice>(fds[1]), 100, 100);
  const TouchContact contact{100, 1, 1, 1, pointer_flag::kDown};
  const SinkResult result = writer.Write({&contact, 1}, {0, 0, 100, 100});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<uint32_t>(EPIPE));
}

}  // namespace
}  // namespace orvane::testing
