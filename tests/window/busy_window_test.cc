// The busy state under which button handlers run: the window drops input
// meanwhile (dialogs still get theirs), a close request waits for the
// handler and cancels its waits, and lookups of a closing window end at once.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/window/window_test_support.h"
#include "ui/gtk_toolkit.h"
#include "ui/main_window.h"

namespace morvellin {
namespace {

namespace wt = morvellin::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class BusyWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(wt::ShowAndWait(window)); }

  MainWindow window{wt::QuietWindowOptions()};
};

TEST_F(BusyWindowTest, InputDuringAHandlerIsDroppedNotQueued) {
  int clears = 0;
  window.OnClicked(Control::按钮6, [&] { ++clears; });
  window.OnClicked(Control::按钮1, [&] {
    window.编辑框1.grab_focus();
    wt::SendKey(window, GDK_KEY_x);
    wt::SendClick(window.按钮6);
    EXPECT_TRUE(window.Sleep(300));
  });

  wt::SendClick(window.按钮1);
  ASSERT_TRUE(wt::WaitUntil([&] { return !window.busy(); }));
  wt::RunFor(300ms);
  EXPECT_EQ(clears, 0);
  EXPECT_EQ(window.编辑框1.get_text(), "");

  // The same input outside a handler does reach the window.
  wt::SendClick(window.按钮6);
  EXPECT_TRUE(wt::WaitUntil([&] { return clears == 1; }));
  window.编辑框1.grab_focus();  // the click took the focus to the button
  wt::SendKey(window, GDK_KEY_x);
  EXPECT_TRUE(wt::WaitUntil([&] { return window.编辑框1.get_text() == "x"; }));
}

TEST_F(BusyWindowTest, CloseDuringAHandlerEndsItsWaitAndClosesAfterIt) {
  bool slept = true;
  bool visible_after_close = false;
  Clock::duration asleep{};
  window.OnClicked(Control::按钮1, [&] {
    Glib::signal_timeout().connect_once([&] { window.close(); }, 100);
    const auto start = Clock::now();
    slept = window.Sleep(20000);
    asleep = Clock::now() - start;
    EXPECT_TRUE(window.closing());
    EXPECT_TRUE(window.cancel_flag().load());
    // Once closing, later waits and lookups give up at once.
    EXPECT_FALSE(window.Sleep(20000));
    EXPECT_EQ(window.LookUp("nick"), "");
    visible_after_close = window.get_visible();
  });

  window.按钮1.clicked();
  EXPECT_FALSE(slept);
  EXPECT_LT(asleep, 10s);
  EXPECT_TRUE(visible_after_close);  // the handler ran to its end first
  EXPECT_TRUE(wt::WaitUntil([&] { return !window.get_visible(); }));
}

TEST_F(BusyWindowTest, DialogsOfAHandlerStillTakeInput) {
  GtkToolkit toolkit(window);
  bool dialog_seen = false;
  window.OnClicked(Control::按钮5, [&] {
    // Esc reaches the message box although the main window is busy.
    Glib::signal_timeout().connect_once(
        [&] {
          for (Gtk::Window* shown : Gtk::Window::list_toplevels()) {
            if (dynamic_cast<Gtk::MessageDialog*>(shown) && shown->get_mapped()) {
              dialog_seen = true;
              wt::SendKey(*shown, GDK_KEY_Escape);
            }
          }
        },
        500);
    toolkit.ShowMessageBox("text", "title");
  });
  window.按钮5.clicked();
  EXPECT_TRUE(dialog_seen);
  EXPECT_TRUE(window.get_visible());
  EXPECT_FALSE(window.busy());
}

TEST_F(BusyWindowTest, SleepWaitsWhilePainting) {
  const auto start = Clock::now();
  EXPECT_TRUE(window.Sleep(200));
  EXPECT_GE(Clock::now() - start, 190ms);
  EXPECT_TRUE(window.Sleep(-5));
  EXPECT_TRUE(window.Sleep(0));
  EXPECT_FALSE(window.busy());
}

}  // namespace
}  // namespace morvellin
