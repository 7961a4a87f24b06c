#include "input/input_injector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "input/pointer_math.h"
#include "input/recording_input_sink.h"
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

TEST_F(InjectorTest, FingersGetIdsFrom100AndOnlyTheFirstIsPrimary) {
  Touch(kDown, 7);
  Touch(kDown, 3);
  Touch(kMove, 7);
  Touch(kUp, 7);
  Touch(kMove, 3);
  Touch(kDown, 7);  // the same client id comes back: a new contact, a new id
  Touch(kCancel, 3);
  EXPECT_EQ(Contacts(), (std::vector<Contact>{
                            {100, 0x12006},  // DOWN | PRIMARY | INCONTACT | INRANGE
                            {101, 0x10006},
                            {100, 0x22006},  // UPDATE
                            {100, 0x42000},  // UP, primary kept
                            {101, 0x20006},
                            {102, 0x10006},  // not primary while 101 is down
                            {101, 0x48000},  // UP | CANCELED
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
  struct Step {
    uint32_t action;
    uint32_t buttons;
    uint32_t flags;
    PenButtonChange change;
    bool in_contact;
    bool in_range;
  };
  using C = PenButtonChange;
  const Step steps[] = {
      {kPenHoverEnter, 0, 0x22002, C::kNone, false, true},
      {kPenHoverMove, 0, 0x22002, C::kNone, false, true},
      {kMove, 0, 0x22002, C::kNone, false, true},
      {kUp, 0, 0x42002, C::kNone, false, true},
      {kDown, 0, 0x12016, C::kFirstButtonDown, true, true},
      {kMove, 1, 0x22036, C::kNone, true, true},  // barrel: SECONDBUTTON
      {kUp, 0, 0x42016, C::kFirstButtonUp, false, true},
      {kDown, 0, 0x12016, C::kFirstButtonDown, true, true},
      {kPenHoverExit, 0, 0x42002, C::kNone, false, false},
  };
  for (const Step& step : steps) {
    Pen(step.action, step.buttons);
  }
  Pen(9);  // not a pen action
  const auto calls = record_->Calls();
  ASSERT_EQ(calls.size(), std::size(steps));
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const PenSample& pen = calls[i].pen;
    EXPECT_EQ(calls[i].kind, Kind::kPen);
    EXPECT_EQ(pen.flags, steps[i].flags);
    EXPECT_EQ(pen.button_change, steps[i].change);
    EXPECT_EQ(pen.barrel, steps[i].buttons == 1);
    EXPECT_EQ(pen.in_contact, steps[i].in_contact);
    EXPECT_EQ(pen.in_range, steps[i].in_range);
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
  EXPECT_EQ(calls[2].kind, Kind::kLeavePenRange);
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
  EXPECT_EQ(calls[0].pen.flags, 0x42016u);
  EXPECT_EQ(calls[1].kind, Kind::kLeavePenRange);
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
            (std::vector<Contact>{{100, 0x12006}, {101, 0x10006}, {100, 0x4A000}, {101, 0x48000}}));

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
