#include "input/input_injector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "input/pointer_math.h"
#include "input/recording_input_sink.h"
#include "input/touch_injection_contract.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

constexpr uint32_t kDown = 0, kMove = 1, kUp = 2, kCancel = 3;
constexpr uint32_t kPenHoverEnter = 3, kPenHoverMove = 4, kPenHoverExit = 5;
constexpr uint32_t kKeyDown = 0, kKeyUp = 1;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using Kind = SinkCall::Kind;

class InjectorTest : public ::testing::Test {
 protected:
  void Build(SinkRecord::Setup setup) {
    injector_.reset();
    record_ = std::make_shared<SinkRecord>(setup);
    injector_ = std::make_unique<InputInjector>(std::make_unique<RecordingInputSink>(record_));
  }
  void SetUp() override { Build({}); }

  void Touch(uint32_t action, uint32_t finger, float x = 0.5f, float y = 0.5f) {
    injector_->InjectTouch(action, finger, x, y, 0.5f);
  }
  void Pen(uint32_t action, uint32_t buttons = 0) {
    injector_->InjectPen(action, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, buttons);
  }
  // The (id, flags) of every contact of every touch frame, in order.
  std::vector<std::pair<uint32_t, uint32_t>> Contacts() const {
    std::vector<std::pair<uint32_t, uint32_t>> contacts;
    for (const SinkCall& call : record_->Calls(Kind::kTouch)) {
      for (const TouchContact& contact : call.contacts) {
        contacts.emplace_back(contact.pointer_id, contact.flags);
      }
    }
    return contacts;
  }
  std::vector<uint32_t> MouseButtons() const {
    std::vector<uint32_t> buttons;
    for (const SinkCall& call : record_->Calls(Kind::kMouse)) {
      buttons.push_back(call.mouse.buttons);
    }
    return buttons;
  }

  LogCapture log_;
  std::shared_ptr<SinkRecord> record_;
  std::unique_ptr<InputInjector> injector_;
};

using Contact = std::pair<uint32_t, uint32_t>;

TEST(PointerMathTest, MapsClampsAndConvertsEveryValueTheClientSends) {
  EXPECT_EQ(NormalizedToPixel(0.0f, 0, 1920), 0);
  EXPECT_EQ(NormalizedToPixel(1.0f, 0, 1920), 1919);
  EXPECT_EQ(NormalizedToPixel(1.7f, 0, 1920), 1919);
  EXPECT_EQ(NormalizedToPixel(-0.3f, 0, 1920), 0);
  EXPECT_EQ(NormalizedToPixel(0.5f, -1280, 3200), -1280 + 1599);  // a monitor left of the primary
  EXPECT_EQ(NormalizedToPixel(0.5f, 0, 1), 0);
  EXPECT_EQ(PointerPressure(0.0f), 1u);
  EXPECT_EQ(PointerPressure(1.0f), 1024u);
  EXPECT_EQ(PointerPressure(0.5f), 512u);
  EXPECT_EQ(PointerPressure(3.0f), 1024u);
  EXPECT_EQ(TiltDegrees(2.0f), 90);
  EXPECT_EQ(TiltDegrees(-2.0f), -90);
  EXPECT_EQ(TiltDegrees(0.5f), 28);
  EXPECT_EQ(RotationDegrees(-0.5f), 331u);
  EXPECT_EQ(RotationDegrees(7.0f), 41u);  // 401.07 degrees
  EXPECT_EQ(RotationDegrees(-1e-9f), 0u);
  EXPECT_EQ(RotationDegrees(3e38f), 0u);  // infinite in degrees
  for (const float bad : {kNaN, kInf, -kInf}) {
    EXPECT_EQ(NormalizedToPixel(bad, 10, 1920), 10);
    EXPECT_EQ(PointerPressure(bad), 1u);
    EXPECT_EQ(TiltDegrees(bad), 0);
    EXPECT_EQ(RotationDegrees(bad), 0u);
  }
}

TEST(PointerMathTest, InputLandsOnTheStreamedMonitorAndTheMouseFollowsItAcrossTheDesktop) {
  // A 1920x1080 monitor left of the 2560x1440 primary, so at a negative origin; the
  // virtual desktop spans both.
  const DesktopRect monitors[] = {{-1920, 0, 1920, 1080}, {0, 0, 2560, 1440}};
  const DesktopRect desktop{-1920, 0, 4480, 1440};
  struct Case {
    uint32_t output;
    float at;  // x and y alike
    int32_t x, y;
    int32_t mouse_x, mouse_y;  // 0..65535 over the virtual desktop
  };
  const Case cases[] = {
      {0, 0.0f, -1920, 0, 0, 0},          {0, 0.5f, -961, 539, 14031, 24547},
      {0, 1.0f, -1, 1079, 28078, 49139},  {1, 0.0f, 0, 0, 28092, 0},
      {1, 0.5f, 1279, 719, 46806, 32744}, {1, 1.0f, 2559, 1439, 65535, 65535},
      {2, 0.5f, -961, 539, 14031, 24547},  // no such output: the first, as capture does
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.output << " " << c.at);
    const DesktopRect area = StreamedMonitorArea(monitors, c.output, desktop);
    const int32_t x = NormalizedToPixel(c.at, area.x, area.width);
    const int32_t y = NormalizedToPixel(c.at, area.y, area.height);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(c.x, c.y));
    EXPECT_EQ(AbsoluteMouseCoordinate(x, desktop.x, desktop.width), c.mouse_x);
    EXPECT_EQ(AbsoluteMouseCoordinate(y, desktop.y, desktop.height), c.mouse_y);
  }
  // Without a monitor that has an area, input spans the whole desktop.
  const DesktopRect none[] = {{0, 0, 0, 0}};
  EXPECT_EQ(StreamedMonitorArea(none, 0, desktop).width, 4480);
  EXPECT_EQ(StreamedMonitorArea({}, 1, desktop).x, -1920);
}

TEST_F(InjectorTest, EveryFrameCarriesEveryFingerAndOnlyTheFirstIsPrimary) {
  Touch(kDown, 7);
  Touch(kDown, 3);
  Touch(kMove, 7);
  Touch(kUp, 7);
  Touch(kMove, 3);
  Touch(kDown, 7);  // the same client id comes back: a new contact, a new id
  Touch(kCancel, 3);
  std::vector<std::vector<Contact>> frames;
  for (const SinkCall& call : record_->Calls(Kind::kTouch)) {
    frames.emplace_back();
    for (const TouchContact& contact : call.contacts) {
      frames.back().emplace_back(contact.pointer_id, contact.flags);
    }
  }
  EXPECT_EQ(frames, (std::vector<std::vector<Contact>>{
                        {{100, 0x12006}},                  // DOWN | PRIMARY | INCONTACT | INRANGE
                        {{100, 0x22006}, {101, 0x10006}},  // the held finger is repeated
                        {{100, 0x22006}, {101, 0x20006}},  // UPDATE
                        {{100, 0x42000}, {101, 0x20006}},  // UP, primary kept
                        {{101, 0x20006}},
                        {{101, 0x20006}, {102, 0x10006}},  // not primary while 101 is down
                        {{101, 0x48000}, {102, 0x20006}},  // UP | CANCELED
                    }));
}

TEST_F(InjectorTest, AMoveOfAnUnknownFingerStartsAContactAndItsUpInjectsNothing) {
  Touch(kUp, 1);
  Touch(kCancel, 1);
  Touch(9, 1);
  EXPECT_TRUE(record_->Calls().empty());
  Touch(kMove, 1);
  Touch(9, 1);  // an unknown action of a known finger
  Touch(kDown, 1);
  EXPECT_EQ(Contacts(), (std::vector<Contact>{{100, 0x12006}, {100, 0x22006}}));
}

TEST_F(InjectorTest, ContactsCarryMappedPixelsAndPressure) {
  injector_->InjectTouch(kDown, 1, 1.7f, -0.3f, 0.0f);
  injector_->InjectTouch(kMove, 1, 0.25f, 0.75f, 1.0f);
  injector_->InjectTouch(kMove, 1, kNaN, kInf, -kInf);
  const auto calls = record_->Calls(Kind::kTouch);
  ASSERT_EQ(calls.size(), 3u);
  const TouchContact& first = calls[0].contacts[0];
  EXPECT_EQ(std::make_tuple(first.x, first.y, first.pressure), std::make_tuple(1919, 0, 1u));
  const TouchContact& second = calls[1].contacts[0];
  EXPECT_EQ(std::make_tuple(second.x, second.y, second.pressure), std::make_tuple(479, 809, 1024u));
  const TouchContact& third = calls[2].contacts[0];
  EXPECT_EQ(std::make_tuple(third.x, third.y, third.pressure), std::make_tuple(0, 0, 1u));
}

TEST_F(InjectorTest, PenFramesFollowContactState) {
  struct Sample {
    uint32_t flags;
    PenButtonChange change;
    bool barrel;
    bool in_contact;
    bool in_range;
  };
  using C = PenButtonChange;
  const std::pair<uint32_t, uint32_t> events[] = {
      {kPenHoverEnter, 0}, {kPenHoverMove, 0}, {kMove, 0}, {kUp, 0},           {kDown, 0},
      {kMove, 1},          {kUp, 0},           {kDown, 0}, {kPenHoverExit, 0}, {9, 0},
  };
  const Sample expected[] = {
      {0x22002, C::kNone, false, false, true},
      {0x22002, C::kNone, false, false, true},
      {0x22002, C::kNone, false, false, true},
      {0x22002, C::kNone, false, false, true},  // an UP of a hovering pen only moves it
      {0x12016, C::kFirstButtonDown, false, true, true},
      {0x22036, C::kNone, true, true, true},             // barrel: SECONDBUTTON
      {0x42002, C::kFirstButtonUp, false, false, true},  // the lifted tip hovers
      {0x12016, C::kFirstButtonDown, false, true, true},
      {0x42002, C::kFirstButtonUp, false, false, true},  // leaving while down lifts first
      {0x22000, C::kNone, false, false, false},          // then an update out of range
  };
  for (const auto& [action, buttons] : events) {
    Pen(action, buttons);
  }
  const auto calls = record_->Calls();
  ASSERT_EQ(calls.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const PenSample& pen = calls[i].pen;
    EXPECT_EQ(calls[i].kind, Kind::kPen);
    EXPECT_EQ(pen.flags, expected[i].flags);
    EXPECT_EQ(pen.button_change, expected[i].change);
    EXPECT_EQ(pen.barrel, expected[i].barrel);
    EXPECT_EQ(pen.in_contact, expected[i].in_contact);
    EXPECT_EQ(pen.in_range, expected[i].in_range);
  }
}

TEST_F(InjectorTest, PenValuesAreConvertedAndAHoverExitLeavesRangeOnce) {
  injector_->InjectPen(kPenHoverEnter, 0.25f, 0.75f, 0.0f, 2.0f, -0.5f, -0.5f, 0);
  injector_->InjectPen(kPenHoverMove, kNaN, kInf, kNaN, kNaN, -kInf, kInf, 0);
  Pen(kPenHoverExit);
  Pen(kPenHoverExit);
  const auto calls = record_->Calls();
  ASSERT_EQ(calls.size(), 3u);
  const PenSample& first = calls[0].pen;
  EXPECT_EQ(
      std::make_tuple(first.x, first.y, first.pressure, first.tilt_x, first.tilt_y, first.rotation),
      std::make_tuple(479, 809, 1u, 90, -28, 331u));
  const PenSample& second = calls[1].pen;
  EXPECT_EQ(std::make_tuple(second.x, second.y, second.pressure, second.tilt_x, second.tilt_y,
                            second.rotation),
            std::make_tuple(0, 0, 1u, 0, 0, 0u));
  EXPECT_EQ(calls[2].kind, Kind::kPen);
  EXPECT_FALSE(calls[2].pen.in_range);
}

TEST_F(InjectorTest, APenDownLiftsEveryFingerInOneFrameAfterThePenAndSilencesFingers) {
  Touch(kDown, 1);
  Touch(kDown, 2);
  Pen(kDown);
  Touch(kMove, 1);
  Touch(kDown, 3);
  Touch(kUp, 2);  // already lifted by the pen
  const auto calls = record_->Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].kind, Kind::kPen);
  ASSERT_EQ(calls[3].kind, Kind::kTouch);
  ASSERT_EQ(calls[3].contacts.size(), 2u);
  EXPECT_EQ(calls[3].contacts[0].pointer_id, 100u);
  EXPECT_EQ(calls[3].contacts[0].flags, 0x4A000u);  // PRIMARY | UP | CANCELED
  EXPECT_EQ(calls[3].contacts[1].pointer_id, 101u);
  EXPECT_EQ(calls[3].contacts[1].flags, 0x48000u);

  Pen(kUp);
  Touch(kDown, 1);
  EXPECT_EQ(Contacts().back(), (Contact{102, 0x12006}));
}

TEST_F(InjectorTest, WithoutNativeTouchTheFirstFingerHoldsTheLeftButton) {
  Build({.touch = false, .pen = false});
  Touch(kDown, 1, 0.25f, 0.75f);
  Touch(kDown, 2);  // a second finger does not click again
  Touch(kMove, 2);
  Touch(kUp, 2);  // any finger's UP releases
  Touch(kUp, 1);
  Touch(kCancel, 1);
  const auto calls = record_->Calls(Kind::kMouse);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[0].mouse.move);
  EXPECT_EQ(std::make_tuple(calls[0].mouse.x, calls[0].mouse.y, calls[0].mouse.buttons),
            std::make_tuple(479, 809, mouse_button::kLeftDown));
  EXPECT_EQ(MouseButtons(),
            (std::vector<uint32_t>{mouse_button::kLeftDown, 0, mouse_button::kLeftUp}));
}

TEST_F(InjectorTest, WithoutAPenDeviceThePenDrivesTheMouseAndItsBarrelTheRightButton) {
  Build({.touch = false, .pen = false});
  Touch(kDown, 1);
  Pen(kPenHoverEnter);
  Pen(kDown);  // lifts the finger's button first
  Touch(kMove, 1);
  Pen(kMove, 1);
  Pen(kMove, 1);
  Pen(kUp);
  Pen(kDown, 1);
  Pen(kUp, 1);
  Pen(kPenHoverExit);
  injector_->ReleaseHeldInput();  // the barrel button went up with nothing in contact
  using namespace mouse_button;
  EXPECT_EQ(MouseButtons(),
            (std::vector<uint32_t>{kLeftDown, 0, kLeftUp, kLeftDown, kRightDown, kRightDown,
                                   kLeftUp | kRightUp, kLeftDown | kRightDown, kLeftUp | kRightDown,
                                   kRightUp}));
  const auto calls = record_->Calls(Kind::kMouse);
  EXPECT_FALSE(calls[2].mouse.move);  // lifts move nothing
  EXPECT_FALSE(calls.back().mouse.move);
}

TEST_F(InjectorTest, OnlyArrowKeysAreExtended) {
  for (const uint32_t key : {0x24u, 0x25u, 0x28u, 0x29u, 0x41u, 0x10025u}) {
    injector_->InjectKey(kKeyDown, key);
  }
  std::vector<std::pair<uint16_t, bool>> keys;
  for (const KeyRecord& key : record_->Keys()) {
    keys.emplace_back(key.virtual_key, key.extended);
  }
  EXPECT_EQ(
      keys,
      (std::vector<std::pair<uint16_t, bool>>{
          {0x24, false}, {0x25, true}, {0x28, true}, {0x29, false}, {0x41, false}, {0x25, true}}));
}

TEST_F(InjectorTest, ReleasingLiftsFingersAndPenAndReleasesHeldKeysInReverse) {
  injector_->InjectKey(kKeyDown, 0x10);  // Shift
  injector_->InjectKey(kKeyDown, 0x11);  // Control
  injector_->InjectKey(kKeyDown, 0x41);
  injector_->InjectKey(kKeyDown, 0x41);  // auto-repeat
  injector_->InjectKey(kKeyUp, 0x41);
  injector_->InjectKey(kKeyDown, 0x42);
  Touch(kDown, 1);
  Pen(kDown);
  Touch(kDown, 2);  // ignored: the pen is down
  record_->Clear();

  injector_->ReleaseHeldInput();
  const auto calls = record_->Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].kind, Kind::kPen);
  EXPECT_EQ(calls[0].pen.flags, 0x42002u);
  EXPECT_EQ(calls[1].kind, Kind::kPen);
  EXPECT_FALSE(calls[1].pen.in_range);
  std::vector<std::pair<uint16_t, bool>> keys;
  for (const KeyRecord& key : record_->Keys()) {
    keys.emplace_back(key.virtual_key, key.up);
  }
  EXPECT_EQ(keys,
            (std::vector<std::pair<uint16_t, bool>>{{0x42, true}, {0x11, true}, {0x10, true}}));
  EXPECT_TRUE(
      log_.Contains("[Input] Releasing input the client left held: keys=3 touches=0 pen=yes"));

  record_->Clear();
  injector_->ReleaseHeldInput();  // nothing is held any more
  EXPECT_TRUE(record_->Calls().empty());
}

TEST_F(InjectorTest, DestructionReleasesFingersAndTheEmulatedButton) {
  Touch(kDown, 1);
  Touch(kDown, 2);
  injector_.reset();
  EXPECT_EQ(Contacts(),
            (std::vector<Contact>{
                {100, 0x12006}, {100, 0x22006}, {101, 0x10006}, {100, 0x4A000}, {101, 0x48000}}));

  Build({.touch = false, .pen = false});
  Touch(kDown, 1);
  injector_.reset();
  EXPECT_EQ(MouseButtons(),
            (std::vector<uint32_t>{mouse_button::kLeftDown, mouse_button::kLeftUp}));
}

TEST_F(InjectorTest, AFailingInjectionFallsBackToTheMouseAndIsLoggedOncePerCode) {
  record_->FailTouch(87);
  record_->FailPen(5);
  Touch(kDown, 1);
  Touch(kUp, 1);
  Touch(kDown, 2);
  Pen(kDown);
  Pen(kUp);
  record_->FailTouch(1168);
  Touch(kDown, 3);
  EXPECT_EQ(log_.Count("[Input] Native touch injection failed (err=87), using mouse emulation"),
            1u);
  EXPECT_EQ(log_.Count("[Input] Native touch injection failed (err=1168)"), 1u);
  EXPECT_EQ(
      log_.Count("[Input] Synthetic pen injection failed (err=5), using mouse emulation fallback"),
      1u);
  using namespace mouse_button;
  EXPECT_EQ(MouseButtons(), (std::vector<uint32_t>{kLeftDown, kLeftUp, kLeftDown, kLeftUp,
                                                   kLeftDown, kLeftUp | kRightUp, kLeftDown}));

  record_->FailTouch(std::nullopt);
  Touch(kDown, 4);  // the failed fingers took ids 100..102
  EXPECT_EQ(Contacts(), (std::vector<Contact>{{103, 0x12006}}));
}

}  // namespace
}  // namespace orvane::testing

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;
using Point = TouchInjectionContract::Point;

// A touch screen that holds the injector to the documented injection contract, on a
// clock of the test's.
class ContractSink : public InputSink {
 public:
  ContractSink(TouchInjectionContract& contract, const std::chrono::milliseconds& now)
      : contract_(contract), now_(now) {}

  bool touch_available() const override { return true; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override {
    return contract_.Frame(contacts, now_) ? SinkResult{} : SinkResult::Failure(87);
  }
  bool pen_available() const override { return false; }
  SinkResult InjectPen(const PenSample&) override { return SinkResult::Failure(1); }
  void SendMouse(const MouseRecord&) override { ++mouse_records; }
  void SendKey(const KeyRecord&) override {}
  DesktopRect Desktop() override { return {0, 0, 1001, 1001}; }

  int mouse_records = 0;

 private:
  TouchInjectionContract& contract_;
  const std::chrono::milliseconds& now_;
};

// Gestures as the receive thread delivers them: every event is followed by the tick the
// thread runs before it waits, and the wait ends early when the tick asked for it.
class TouchContractTest : public ::testing::Test {
 protected:
  TouchContractTest() {
    auto sink = std::make_unique<ContractSink>(contract_, now_);
    sink_ = sink.get();
    injector_ = std::make_unique<InputInjector>(std::move(sink), [this] { return now_; });
  }

  void Touch(uint32_t action, uint32_t finger, float x, float y) {
    injector_->InjectTouch(action, finger, x, y, 0.5f);
    Waited();
  }
  // Time passes without a datagram, in 10 ms steps.
  void Pass(std::chrono::milliseconds span) {
    for (const auto end = now_ + span; now_ < end;) {
      now_ += 10ms;
      if (next_tick_ && now_ >= *next_tick_) {
        Waited();
      }
    }
  }
  void Waited() {
    const auto wait = injector_->Tick();
    next_tick_ = wait ? std::optional(now_ + *wait) : std::nullopt;
  }

  std::chrono::milliseconds now_{5000};
  std::optional<std::chrono::milliseconds> next_tick_;
  TouchInjectionContract contract_{{0, 0, 1001, 1001}, 10};
  ContractSink* sink_ = nullptr;
  std::unique_ptr<InputInjector> injector_;
};

TEST_F(TouchContractTest, ATwoFingerPinchEndsWithBothFingersLiftedWhereTheyWere) {
  Touch(kDown, 1, 0.4f, 0.5f);
  Touch(kDown, 2, 0.6f, 0.5f);
  for (int step = 1; step <= 10; ++step) {
    Pass(8ms);
    Touch(kMove, 1, 0.4f - 0.02f * static_cast<float>(step), 0.5f);
    Touch(kMove, 2, 0.6f + 0.02f * static_cast<float>(step), 0.5f);
  }
  Touch(kUp, 1, 0.2f, 0.5f);
  Pass(16ms);
  Touch(kUp, 2, 0.8f, 0.5f);
  EXPECT_TRUE(contract_.faults().empty()) << contract_.faults().front();
  ASSERT_EQ(contract_.strokes().size(), 2u);
  for (const auto& stroke : contract_.strokes()) {
    EXPECT_TRUE(stroke.ended);
    EXPECT_FALSE(stroke.cancelled);
  }
  EXPECT_EQ(contract_.strokes()[0].path.back(), (Point{200, 500}));
  EXPECT_EQ(contract_.strokes()[1].path.back(), (Point{800, 500}));
  EXPECT_EQ(sink_->mouse_records, 0);
}

TEST_F(TouchContractTest, AFingerHeldStillForASecondStaysDown) {
  Touch(kDown, 1, 0.5f, 0.5f);
  Pass(1000ms);
  Touch(kUp, 1, 0.5f, 0.5f);
  EXPECT_TRUE(contract_.faults().empty()) << contract_.faults().front();
  ASSERT_EQ(contract_.strokes().size(), 1u);
  const auto& press = contract_.strokes()[0];
  EXPECT_FALSE(press.cancelled);
  EXPECT_GE(press.ended_at - press.down_at, 1000ms);
  EXPECT_EQ(injector_->Tick(), std::nullopt);  // nothing left to keep alive
}

TEST_F(TouchContractTest, ADragAfterAPauseAndALiftReportedElsewhereKeepTheContact) {
  Touch(kDown, 1, 0.1f, 0.1f);
  Pass(400ms);
  for (int step = 1; step <= 5; ++step) {
    Touch(kMove, 1, 0.1f + 0.1f * static_cast<float>(step), 0.1f);
    Pass(16ms);
  }
  Pass(150ms);
  Touch(kUp, 1, 0.65f, 0.15f);  // the lift repeats the last position instead
  EXPECT_TRUE(contract_.faults().empty()) << contract_.faults().front();
  ASSERT_EQ(contract_.strokes().size(), 1u);
  EXPECT_FALSE(contract_.strokes()[0].cancelled);
  EXPECT_EQ(contract_.strokes()[0].path.back(), (Point{600, 100}));
  EXPECT_EQ(sink_->mouse_records, 0);
}

// The contract itself: what the system refuses must be refused, or the tests above
// prove nothing.
TEST(TouchInjectionContractTest, RefusesWhatTheSystemRefuses) {
  namespace pf = pointer_flag;
  constexpr uint32_t kDownFlags = pf::kDown | pf::kInRange | pf::kInContact;
  constexpr uint32_t kUpdateFlags = pf::kUpdate | pf::kInRange | pf::kInContact;
  TouchInjectionContract contract({0, 0, 100, 100}, 10);
  const TouchContact a_down{1, 10, 10, 1, kDownFlags};
  const TouchContact b_down{2, 20, 20, 1, kDownFlags};
  ASSERT_TRUE(contract.Frame({&a_down, 1}, 0ms));
  EXPECT_FALSE(contract.Frame({&b_down, 1}, 10ms));  // leaves a out: a is cancelled
  EXPECT_TRUE(contract.strokes()[0].cancelled);

  const TouchContact both[] = {{3, 10, 10, 1, kDownFlags}, {4, 20, 20, 1, kDownFlags}};
  ASSERT_TRUE(contract.Frame(both, 20ms));
  const TouchContact lift_elsewhere[] = {{3, 11, 10, 1, pf::kUp}, {4, 20, 20, 1, kUpdateFlags}};
  EXPECT_FALSE(contract.Frame(lift_elsewhere, 30ms));  // and every contact is cancelled
  EXPECT_TRUE(contract.strokes()[1].cancelled && contract.strokes()[2].cancelled);

  const TouchContact c_down{5, 10, 10, 1, kDownFlags};
  const TouchContact c_update{5, 10, 10, 1, kUpdateFlags};
  ASSERT_TRUE(contract.Frame({&c_down, 1}, 40ms));
  EXPECT_FALSE(contract.Frame({&c_update, 1}, 141ms));  // 101 ms without a frame
  EXPECT_TRUE(contract.strokes()[3].cancelled);

  const TouchContact off_desktop{6, 100, 10, 1, kDownFlags};
  const TouchContact no_phase{7, 10, 10, 1, pf::kInRange | pf::kInContact};
  const TouchContact unknown_update{8, 10, 10, 1, kUpdateFlags};
  for (const TouchContact& refused : {off_desktop, no_phase, unknown_update}) {
    EXPECT_FALSE(contract.Frame({&refused, 1}, 150ms)) << refused.pointer_id;
  }
}

}  // namespace
}  // namespace orvane::testing
