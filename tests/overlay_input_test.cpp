// The menu's side of the window's message stream, and the hand-over of input events from the
// window thread to the render thread.
#include <gtest/gtest.h>

#include <thread>

#include "overlay/window_input.h"
#include "overlay_support.h"

namespace kvr::test {
namespace {

using overlay::MessageVerdict;
namespace msg = overlay::msg;

class WindowInputTest : public ::testing::Test {
 protected:
  MessageVerdict Send(uint32_t message, uint64_t wparam = 0, int64_t lparam = 0,
                      const overlay::RawMouse& raw = {}) {
    return overlay::HandleWindowMessage(input_, queue_, {message, wparam, lparam}, raw, {1280, 720},
                                        now_, ready_, overlay::kModShift);
  }
  std::vector<overlay::InputEvent> Drain() {
    std::vector<overlay::InputEvent> out;
    queue_.Drain([&](const overlay::InputEvent& e) { out.push_back(e); });
    return out;
  }
  static int64_t Point(int x, int y) {
    return (static_cast<uint16_t>(y) << 16) | static_cast<uint16_t>(x);
  }

  overlay::OverlayInput input_;
  overlay::InputQueue queue_;
  double now_ = 100.0;
  bool ready_ = true;
};

TEST_F(WindowInputTest, TheMenuKeyTogglesOnceAndIsNeverSeenReleased) {
  EXPECT_EQ(Send(msg::kMouseMove, 0, Point(5, 5)), MessageVerdict::kPassToGame);
  EXPECT_EQ(Send(msg::kKeyDown, 120), MessageVerdict::kSwallow);
  EXPECT_TRUE(input_.menuOpen);
  EXPECT_EQ(input_.cursorX.load(), 640.0f);  // the middle of the client area
  EXPECT_EQ(input_.cursorY.load(), 360.0f);
  EXPECT_EQ(Send(msg::kKeyDown, 120, int64_t{1} << 30), MessageVerdict::kSwallow);  // held
  EXPECT_TRUE(input_.menuOpen);
  EXPECT_EQ(Send(msg::kKeyUp, 120), MessageVerdict::kSwallow);
  EXPECT_EQ(Send(msg::kSysKeyDown, 120), MessageVerdict::kSwallow);
  EXPECT_FALSE(input_.menuOpen);
  EXPECT_EQ(Send(msg::kSysKeyUp, 120), MessageVerdict::kSwallow);
  EXPECT_TRUE(Drain().empty());

  input_.menuKey = 45;  // Insert: F9 is an ordinary key again
  EXPECT_EQ(Send(msg::kKeyDown, 120), MessageVerdict::kPassToGame);
  EXPECT_EQ(Send(msg::kKeyDown, 45), MessageVerdict::kSwallow);
  EXPECT_TRUE(input_.menuOpen);
}

TEST_F(WindowInputTest, AnOpenMenuTakesInputAndHoldsItBackFromTheGame) {
  Send(msg::kKeyDown, 120);
  const uint32_t taken[] = {msg::kLButtonDown, msg::kLButtonUp, msg::kRButtonDblClk,
                            msg::kMouseWheel,  msg::kXButtonUp, msg::kKeyDown,
                            msg::kChar};
  for (uint32_t m : taken) EXPECT_EQ(Send(m, 'a', 7), MessageVerdict::kSwallow) << m;
  const auto events = Drain();
  ASSERT_EQ(events.size(), std::size(taken));
  EXPECT_EQ(events[0].message, msg::kLButtonDown);
  EXPECT_EQ(events[6].message, msg::kChar);
  EXPECT_EQ(events[6].wparam, uint64_t{'a'});
  EXPECT_EQ(events[6].lparam, 7);
  EXPECT_EQ(events[6].modifiers, overlay::kModShift);

  EXPECT_EQ(Send(msg::kMouseMove, 0, Point(-3, 700)), MessageVerdict::kSwallow);
  EXPECT_EQ(input_.cursorX.load(), -3.0f);  // signed client coordinates
  EXPECT_EQ(input_.cursorY.load(), 700.0f);
  // Not listed, so the game still gets them.
  EXPECT_EQ(Send(0x0209 /* middle double click */), MessageVerdict::kPassToGame);
  EXPECT_EQ(Send(msg::kSysKeyDown, 'F'), MessageVerdict::kPassToGame);

  input_.blockGameInput = false;  // both receive input
  EXPECT_EQ(Send(msg::kLButtonDown), MessageVerdict::kPassToGame);
  EXPECT_EQ(Send(msg::kKeyDown, 'W'), MessageVerdict::kPassToGame);
  EXPECT_EQ(Drain().size(), 2u);

  Send(msg::kKeyDown, 120);  // closed: everything reaches the game untouched
  input_.blockGameInput = true;
  EXPECT_EQ(Send(msg::kLButtonDown), MessageVerdict::kPassToGame);
  EXPECT_EQ(Send(msg::kInput), MessageVerdict::kPassToGame);
  EXPECT_TRUE(Drain().empty());
}

// No menu can be drawn (not set up yet, stopped after its faults, removed, or the game moved to
// another swap chain): the menu key would open a menu nobody sees and keep the game's input.
TEST_F(WindowInputTest, WithNoMenuToDrawTheKeyAndAllInputAreTheGames) {
  ready_ = false;
  EXPECT_EQ(Send(msg::kKeyDown, 120), MessageVerdict::kPassToGame);
  EXPECT_FALSE(input_.menuOpen);
  EXPECT_EQ(Send(msg::kKeyUp, 120), MessageVerdict::kPassToGame);
  EXPECT_EQ(Send(msg::kSysKeyDown, 120), MessageVerdict::kPassToGame);
  EXPECT_FALSE(input_.menuOpen);

  input_.menuOpen = true;  // as the window thread saw it when the overlay stopped
  overlay::RawMouse raw;
  raw.valid = true;
  raw.dx = 10;
  const uint32_t messages[] = {msg::kLButtonDown, msg::kMouseWheel, msg::kMouseMove,
                               msg::kKeyDown,     msg::kChar,       msg::kInput};
  for (uint32_t m : messages) EXPECT_EQ(Send(m, 'a', 7, raw), MessageVerdict::kPassToGame) << m;
  EXPECT_EQ(input_.cursorX.load(), 200.0f) << "the cursor stays where it was";
  EXPECT_TRUE(Drain().empty());
}

TEST_F(WindowInputTest, RawMouseMovesTheCursorWithinTheClientAreaAndOutranksMessages) {
  Send(msg::kKeyDown, 120);  // cursor at 640, 360
  overlay::RawMouse raw;
  raw.valid = true;
  raw.dx = 10;
  raw.dy = -20;
  EXPECT_EQ(Send(msg::kInput, 0, 0, raw), MessageVerdict::kDefault);
  EXPECT_EQ(input_.cursorX.load(), 650.0f);
  EXPECT_EQ(input_.cursorY.load(), 340.0f);
  EXPECT_EQ(input_.lastRawMouseTime.load(), now_);
  raw.dx = 5000;
  raw.dy = -5000;
  Send(msg::kInput, 0, 0, raw);
  EXPECT_EQ(input_.cursorX.load(), 1279.0f);
  EXPECT_EQ(input_.cursorY.load(), 0.0f);

  // While raw input is fresh, ordinary mouse messages neither move the cursor nor click.
  now_ += 0.4;
  Send(msg::kMouseMove, 0, Point(3, 3));
  Send(msg::kLButtonDown);
  EXPECT_EQ(input_.cursorX.load(), 1279.0f);
  EXPECT_TRUE(Drain().empty());
  now_ += 0.2;
  Send(msg::kMouseMove, 0, Point(3, 3));
  EXPECT_EQ(input_.cursorX.load(), 3.0f);

  // Absolute reports do not move it; buttons and the wheel come through in order.
  raw = {};
  raw.valid = true;
  raw.flags = msg::kRawMoveAbsolute;
  raw.dx = 100;
  raw.buttonFlags = msg::kRawLeftDown | msg::kRawRightUp | msg::kRawWheel;
  raw.buttonData = -240;
  Send(msg::kInput, 0, 0, raw);
  EXPECT_EQ(input_.cursorX.load(), 3.0f);
  const auto events = Drain();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].kind, overlay::InputEvent::Kind::kMouseButton);
  EXPECT_TRUE(events[0].down);
  EXPECT_EQ(events[0].button, 0);
  EXPECT_EQ(events[1].button, 1);
  EXPECT_FALSE(events[1].down);
  EXPECT_EQ(events[2].kind, overlay::InputEvent::Kind::kMouseWheel);
  EXPECT_EQ(events[2].wheel, -2.0f);

  input_.blockGameInput = false;
  EXPECT_EQ(Send(msg::kInput, 0, 0, raw), MessageVerdict::kPassToGame);
}

TEST(InputQueue, KeepsOrderDropsBeyondCapacityAndCrossesThreads) {
  overlay::InputQueue queue;
  for (size_t i = 0; i < overlay::InputQueue::kCapacity; ++i) {
    overlay::InputEvent e;
    e.message = static_cast<uint32_t>(i);
    ASSERT_TRUE(queue.Push(e));
  }
  EXPECT_FALSE(queue.Push({}));
  uint32_t next = 0;
  bool ordered = true;
  queue.Drain([&](const overlay::InputEvent& e) { ordered &= e.message == next++; });
  EXPECT_TRUE(ordered);
  EXPECT_EQ(next, overlay::InputQueue::kCapacity);

  // A window thread pushes while the render thread drains: nothing is lost or seen twice.
  constexpr uint32_t kEvents = 20000;
  std::thread window([&] {
    for (uint32_t i = 0; i < kEvents;) {
      overlay::InputEvent e;
      e.message = i;
      if (queue.Push(e)) ++i;
    }
  });
  uint32_t seen = 0;
  bool inOrder = true;
  while (seen < kEvents)
    queue.Drain([&](const overlay::InputEvent& e) { inOrder &= e.message == seen++; });
  window.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(queue.Size(), 0u);
}

// The frame's decision and copies, with a real ImGui context.
class OverlayFrameTest : public OverlayFixture {};

TEST_F(OverlayFrameTest, NothingIsDrawnUnlessTheMenuOrRoutesAreWanted) {
  input_.menuOpen = false;
  shared_.recentLog = {"one", "two"};
  overlay::FramePlan plan = overlay::BeginOverlayFrame(shared_, copies_, input_);
  EXPECT_FALSE(plan.Any());
  EXPECT_EQ(copies_.settingsVersion, 1u);  // the first frame always copies
  EXPECT_TRUE(copies_.log.empty());        // only an open menu shows the log

  game::MenuSnapshot snap;
  snap.camera.valid = true;
  snap.routes.resize(1);
  Publish(snap);
  EXPECT_FALSE(overlay::BeginOverlayFrame(shared_, copies_, input_).Any());  // overlay off
  shared_.sharedSettings.ShowPathOverlay = true;
  shared_.sharedSettings.MenuKey = 45;
  shared_.sharedSettings.BlockGameInputWhileMenuOpen = false;
  ++shared_.settingsVersion;
  plan = overlay::BeginOverlayFrame(shared_, copies_, input_);
  EXPECT_TRUE(plan.drawRoutes);
  EXPECT_FALSE(plan.menuOpen);
  EXPECT_EQ(input_.menuKey.load(), 45);
  EXPECT_FALSE(input_.blockGameInput.load());
  snap.camera.valid = false;
  Publish(snap);
  EXPECT_FALSE(overlay::BeginOverlayFrame(shared_, copies_, input_).Any());

  input_.menuOpen = true;
  plan = overlay::BeginOverlayFrame(shared_, copies_, input_);
  EXPECT_TRUE(plan.menuOpen);
  EXPECT_EQ(copies_.log, (std::vector<std::string>{"one", "two"}));
}

TEST_F(OverlayFrameTest, TheCursorIsTheVirtualOneOnlyWhileTheMenuIsOpen) {
  input_.cursorX = 321;
  input_.cursorY = 123;
  Frame(2);
  EXPECT_EQ(ImGui::GetIO().MousePos.x, 321.0f);
  EXPECT_TRUE(ImGui::GetIO().MouseDrawCursor);
  input_.menuOpen = false;
  shared_.sharedSettings.ShowPathOverlay = true;
  shared_.sharedSettings.MenuScale = 1.5f;
  ++shared_.settingsVersion;
  game::MenuSnapshot snap;
  snap.camera.valid = true;
  snap.routes.resize(1);
  Publish(snap);
  Frame();
  EXPECT_FALSE(ImGui::IsMousePosValid());
  EXPECT_FALSE(ImGui::GetIO().MouseDrawCursor);
  EXPECT_EQ(ImGui::GetIO().FontGlobalScale, 1.5f);
  EXPECT_FALSE(ImGui::FindWindowByName(overlay::kMenuTitle)->Active);
}

}  // namespace
}  // namespace kvr::test
