// The Toolkit over GTK: GBK texts in and out of the controls with their line
// ends kept, captions, width, progress clamping, the dialogs, the clipboard
// as another program reads it, and the opener.
#include "ui/gtk_toolkit.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "lookup/charset.h"
#include "tests/window/window_test_support.h"

namespace morvellin {
namespace {

namespace wt = morvellin::testing;
using namespace std::chrono_literals;

// GBK for a UTF-8 literal.
Text Gbk(const std::string& utf8) { return Utf8ToGbk(utf8); }

class GtkToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options.open_address = [this](const std::string& address) { opened.push_back(address); };
    window = std::make_unique<MainWindow>(options);
    toolkit = std::make_unique<GtkToolkit>(*window);
  }

  // Runs `act` once `dialog_type` has come up (polled), then waits for the
  // call that shows the dialog to return.
  template <typename Dialog>
  void WhenShown(std::function<void(Dialog&)> act) {
    Glib::signal_timeout().connect(
        [act] {
          for (Gtk::Window* shown : Gtk::Window::list_toplevels()) {
            if (auto* dialog = dynamic_cast<Dialog*>(shown); dialog && dialog->get_mapped()) {
              act(*dialog);
              return false;
            }
          }
          return true;
        },
        50);
  }

  MainWindowOptions options = wt::QuietWindowOptions();
  std::vector<std::string> opened;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<GtkToolkit> toolkit;
};

TEST_F(GtkToolkitTest, EditBoxesGiveBackExactlyWhatTheyWereGiven) {
  const std::vector<Text> texts = {
      "",
      "tb_01 a/b",
      Gbk("甲店铺 2208876543"),
      "a\r\nb\r\n",
      "a\nb\n",  // LF alone stays LF: one line to the batch's split
      Gbk("甲\r\n\r\n乙"),
      "x\ry",
  };
  for (Control box : {Control::编辑框1, Control::编辑框2, Control::编辑框3, Control::编辑框4}) {
    for (const Text& text : texts) {
      SCOPED_TRACE(std::string(ControlName(box)) + ": " + GbkToUtf8(text));
      toolkit->SetText(box, text);
      EXPECT_EQ(toolkit->GetText(box), text);
    }
  }
  toolkit->SetText(Control::编辑框3, Gbk("甲\r\n"));
  EXPECT_EQ(window->编辑框3.view.get_buffer()->get_text(), "甲\r\n");
  toolkit->SetText(Control::编辑框1, Gbk("乙"));
  EXPECT_EQ(window->编辑框1.get_text(), "乙");
}

TEST_F(GtkToolkitTest, TypedLinesAreJoinedByCrLf) {
  ASSERT_TRUE(wt::ShowAndWait(*window));
  toolkit->SetText(Control::编辑框3, "ab");
  Glib::RefPtr<Gtk::TextBuffer> buffer = window->编辑框3.view.get_buffer();
  buffer->place_cursor(buffer->end());
  window->编辑框3.view.grab_focus();
  wt::SendKey(*window, GDK_KEY_Return);
  wt::SendKey(*window, GDK_KEY_c);
  EXPECT_TRUE(wt::WaitUntil([&] { return toolkit->GetText(Control::编辑框3) == "ab\r\nc"; }));
}

TEST_F(GtkToolkitTest, AppendGoesAfterTheLastCharacterWhateverTheCaret) {
  toolkit->SetText(Control::编辑框4, Gbk("甲 1\r\n"));
  Glib::RefPtr<Gtk::TextBuffer> buffer = window->编辑框4.view.get_buffer();
  buffer->select_range(buffer->begin(), buffer->end());
  toolkit->AppendText(Control::编辑框4, "b 2\r\n");
  EXPECT_EQ(toolkit->GetText(Control::编辑框4), Gbk("甲 1\r\nb 2\r\n"));
  EXPECT_FALSE(buffer->get_has_selection());
  EXPECT_TRUE(buffer->get_insert()->get_iter().is_end());

  // The view follows the caret down.
  ASSERT_TRUE(wt::ShowAndWait(*window));
  for (int i = 0; i < 100; ++i) toolkit->AppendText(Control::编辑框4, "line\r\n");
  Glib::RefPtr<Gtk::Adjustment> scroll = window->编辑框4.get_vadjustment();
  EXPECT_TRUE(wt::WaitUntil([&] {
    return scroll->get_value() > 0 &&
           scroll->get_value() + scroll->get_page_size() >= scroll->get_upper() - 1;
  }));

  toolkit->SetText(Control::编辑框1, "ab");
  window->编辑框1.set_position(0);
  toolkit->AppendText(Control::编辑框1, "c");
  EXPECT_EQ(toolkit->GetText(Control::编辑框1), "abc");
}

TEST_F(GtkToolkitTest, CaptionsCrossInGbk) {
  const Text count = "3";
  toolkit->SetCaption(Control::标签5, count);
  EXPECT_EQ(window->标签5.get_text(), "3");
  EXPECT_EQ(toolkit->GetCaption(Control::标签5), count);

  EXPECT_EQ(toolkit->GetCaption(Control::标签11), Gbk("进入官网了解更多软件"));
  EXPECT_EQ(toolkit->GetCaption(Control::按钮3), Gbk("单号查ID"));
  toolkit->SetCaption(Control::按钮3, Gbk("查询中"));
  EXPECT_EQ(window->CaptionLabel(Control::按钮3)->get_text(), "查询中");
  EXPECT_EQ(window->CaptionLabel(Control::按钮3), window->按钮3.get_child());

  EXPECT_EQ(toolkit->GetWindowCaption(), "Morvellin");
  const Text caption = Gbk("MorvellinV1.1-本软件供至尊VIP内部使用！");
  toolkit->SetWindowCaption(caption);
  EXPECT_EQ(window->get_title(), "MorvellinV1.1-本软件供至尊VIP内部使用！");
  EXPECT_EQ(toolkit->GetWindowCaption(), caption);
}

TEST_F(GtkToolkitTest, WindowWidthKeepsTheOtherEdges) {
  ASSERT_TRUE(wt::ShowAndWait(*window));
  const wt::Frame start = wt::WindowFrame(*window);
  toolkit->SetWindowWidth(965);
  ASSERT_TRUE(wt::WaitForWidth(*window, 965));
  const wt::Frame wide = wt::WindowFrame(*window);
  EXPECT_EQ(wide.x, start.x);
  EXPECT_EQ(wide.y, start.y);
  EXPECT_EQ(wide.height, 537);
}

TEST_F(GtkToolkitTest, ProgressIsClampedAndShownWithinItsRange) {
  struct Step {
    int maximum, position;
    double shown;
  };
  const Step steps[] = {
      {100, 0, 0.0},     {100, 50, 0.5},        {3, 1, 1.0 / 3},      {3, 3, 1.0},
      {3, 5, 1.0},       {0, 0, 0.0},           {0, 7, 0.0},          {10, -4, 0.0},
      {-5, 3, 0.0},      {40000, 32767, 1.0},   {40000, 16000, 16000.0 / 32767},
      {32767, 40000, 1.0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.maximum) + " " + std::to_string(step.position));
    toolkit->SetProgressMaximum(step.maximum);
    toolkit->SetProgressPosition(step.position);
    EXPECT_DOUBLE_EQ(window->进度条1.get_fraction(), step.shown);
  }
  // A smaller maximum shows the kept position clamped, and a larger one
  // shows it again.
  toolkit->SetProgressMaximum(10);
  toolkit->SetProgressPosition(8);
  toolkit->SetProgressMaximum(4);
  EXPECT_DOUBLE_EQ(window->进度条1.get_fraction(), 1.0);
  toolkit->SetProgressMaximum(16);
  EXPECT_DOUBLE_EQ(window->进度条1.get_fraction(), 0.5);
}

TEST_F(GtkToolkitTest, MessageBoxHasOneOkAndNoIcon) {
  ASSERT_TRUE(wt::ShowAndWait(*window));
  bool checked = false;
  WhenShown<Gtk::MessageDialog>([&](Gtk::MessageDialog& dialog) {
    EXPECT_EQ(dialog.get_title(), "复制完成！");
    EXPECT_EQ(dialog.property_text().get_value(), "复制成功！请粘贴到您新建的TXT文本里！");
    EXPECT_EQ(dialog.property_message_type().get_value(), Gtk::MESSAGE_OTHER);
    EXPECT_TRUE(dialog.get_modal());
    std::vector<Gtk::Widget*> buttons = dialog.get_action_area()->get_children();
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(dynamic_cast<Gtk::Button*>(buttons[0])->get_label(), "确定");
    checked = true;
    dialog.response(Gtk::RESPONSE_OK);
  });
  toolkit->ShowMessageBox(Gbk("复制成功！请粘贴到您新建的TXT文本里！"), Gbk("复制完成！"));
  EXPECT_TRUE(checked);
}

TEST_F(GtkToolkitTest, OpenDialogKeepsTheConfirmedFile) {
  ASSERT_TRUE(wt::ShowAndWait(*window));
  const std::string folder = wt::NewScratchSubfolder("名单");
  const std::string file = folder + "/旺旺 名单.txt";
  std::ofstream(file) << "a\r\n";

  // Cancel before any file was confirmed: false, and the name stays empty.
  WhenShown<Gtk::FileChooserDialog>([](Gtk::FileChooserDialog& dialog) {
    EXPECT_EQ(dialog.get_action(), Gtk::FILE_CHOOSER_ACTION_OPEN);
    ASSERT_EQ(dialog.list_filters().size(), 1u);
    ASSERT_TRUE(dialog.get_filter());
    EXPECT_EQ(dialog.get_filter()->get_name(), "文本（*.txt）");
    dialog.response(Gtk::RESPONSE_CANCEL);
  });
  EXPECT_FALSE(toolkit->ShowOpenDialog());
  EXPECT_EQ(toolkit->DialogFileName(), "");

  // Choosing a file gives its full path, in GBK.
  WhenShown<Gtk::FileChooserDialog>([file](Gtk::FileChooserDialog& dialog) {
    dialog.set_filename(file);
    wt::WaitUntil([&] { return dialog.get_filename() == file; });
    dialog.response(Gtk::RESPONSE_ACCEPT);
  });
  EXPECT_TRUE(toolkit->ShowOpenDialog());
  EXPECT_EQ(toolkit->DialogFileName(), Gbk(file));

  // The next dialog starts at that file; cancelling keeps it.
  std::string offered;
  WhenShown<Gtk::FileChooserDialog>([&](Gtk::FileChooserDialog& dialog) {
    wt::WaitUntil([&] { return dialog.get_filename() == file; });
    offered = dialog.get_filename();
    dialog.response(Gtk::RESPONSE_CANCEL);
  });
  EXPECT_FALSE(toolkit->ShowOpenDialog());
  EXPECT_EQ(offered, file);
  EXPECT_EQ(toolkit->DialogFileName(), Gbk(file));
}

// What another program reads from the clipboard while we run.
std::string ReadClipboardElsewhere() {
  GError* error = nullptr;
  GSubprocess* reader =
      g_subprocess_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error, "xclip", "-o", "-selection",
                       "clipboard", nullptr);
  if (!reader) {
    ADD_FAILURE() << "xclip: " << error->message;
    g_error_free(error);
    return {};
  }
  struct Output {
    bool done = false;
    std::string text;
  } output;
  g_subprocess_communicate_utf8_async(
      reader, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<Output*>(data);
        gchar* text = nullptr;
        if (g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &text, nullptr,
                                                 nullptr) &&
            text) {
          out->text = text;
        }
        g_free(text);
        out->done = true;
      },
      &output);
  // Our process serves the selection from its main loop meanwhile.
  EXPECT_TRUE(wt::WaitUntil([&] { return output.done; }, 10s));
  g_object_unref(reader);
  return output.text;
}

TEST_F(GtkToolkitTest, ClipboardTextCanBeReadByAnotherProgram) {
  ASSERT_TRUE(wt::ShowAndWait(*window));
  EXPECT_TRUE(toolkit->SetClipboardText(Gbk("甲店铺 2208876543\r\nb 1\r\n")));
  EXPECT_EQ(ReadClipboardElsewhere(), "甲店铺 2208876543\r\nb 1\r\n");
  EXPECT_TRUE(toolkit->SetClipboardText(""));
  EXPECT_EQ(ReadClipboardElsewhere(), "");
}

TEST_F(GtkToolkitTest, OpenAddressHandsUtf8ToTheOpener) {
  toolkit->OpenAddress("http://www.velkor.example");
  EXPECT_EQ(opened, std::vector<std::string>{"http://www.velkor.example"});
}

}  // namespace
}  // namespace morvellin
