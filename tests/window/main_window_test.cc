// The main window as the user meets it: size, place, caption and every
// control in its box with its text and look; the two widths of the login
// panel; Esc and Enter; the link label; screenshots narrow and wide.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/loopback_server.h"
#include "tests/window/window_test_support.h"

namespace morvellin {
namespace {

namespace wt = morvellin::testing;
using namespace std::chrono_literals;

struct Box {
  const char* name;
  int left, top, width, height;
};

// The layout, control by control: place in the client area and size.
constexpr Box kLayout[] = {
    {"按钮2", 18, 8, 174, 32},     {"编辑框3", 19, 47, 173, 441}, {"按钮6", 213, 25, 80, 32},
    {"标签1", 200, 80, 96, 16},    {"编辑框1", 200, 100, 112, 24}, {"标签2", 200, 132, 96, 16},
    {"编辑框2", 200, 152, 112, 24}, {"按钮3", 199, 184, 112, 24},  {"标签4", 208, 224, 40, 24},
    {"标签5", 248, 223, 64, 16},   {"标签11", 194, 264, 128, 40}, {"标签12", 208, 304, 112, 16},
    {"标签3", 240, 336, 64, 40},   {"按钮4", 200, 400, 111, 40},  {"按钮1", 199, 448, 112, 40},
    {"按钮5", 328, 8, 208, 32},    {"编辑框4", 322, 48, 216, 440}, {"进度条1", 15, 496, 521, 16},
    {"超文本浏览框1", 559, 12, 385, 236},                         {"按钮7", 560, 256, 384, 32},
    {"图片框1", 553, 289, 208, 304}, {"标签6", 768, 296, 160, 32},  {"标签7", 768, 328, 144, 48},
    {"标签8", 767, 375, 168, 48},  {"标签9", 768, 416, 184, 48},  {"标签10", 768, 456, 176, 40},
};

struct Caption {
  const char* name;
  const char* text;
};

constexpr Caption kCaptions[] = {
    {"按钮2", "①导入文本"},
    {"按钮6", "清空内容"},
    {"标签1", "要查询的旺旺号："},
    {"标签2", "查询结果："},
    {"按钮3", "单号查ID"},
    {"标签4", "总数："},
    {"标签5", ""},
    {"标签11", "进入官网了解更多软件"},
    {"标签3", "》》》》"},
    {"按钮4", "②登录淘宝帐号"},
    {"按钮1", "③批量查询ID信息"},
    {"按钮5", "④复制结果到剪切版"},
    {"按钮7", "<<<<<<<<<<<      登录好帐号后点击收回窗口"},
    {"标签6", "扫一扫关注Velkor微信公众帐号："},
    {"标签7", "新资讯第一时间了解！"},
    {"标签8", "每周还有不同的福利等着你哦！"},
    {"标签9", "关注成功后，回复“福利”"},
    {"标签10", "即可领取！！"},
};

// The label that shows a control's caption: the control itself, or the label
// inside a button or the link's event box.
Gtk::Label* CaptionOf(Gtk::Widget* widget) {
  if (auto* label = dynamic_cast<Gtk::Label*>(widget)) return label;
  if (auto* bin = dynamic_cast<Gtk::Bin*>(widget)) return dynamic_cast<Gtk::Label*>(bin->get_child());
  return nullptr;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowOptions options = wt::QuietWindowOptions();
};

TEST_F(MainWindowTest, StartsNarrowCentredCaptionedWithItsIcon) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  const wt::Frame frame = wt::WindowFrame(window);
  EXPECT_EQ(frame.width, 552);
  EXPECT_EQ(frame.height, 537);

  GdkMonitor* monitor = gdk_display_get_monitor_at_window(
      gdk_display_get_default(), gtk_widget_get_window(GTK_WIDGET(window.gobj())));
  GdkRectangle screen;
  gdk_monitor_get_workarea(monitor, &screen);
  EXPECT_EQ(frame.x, screen.x + (screen.width - 552) / 2);
  EXPECT_EQ(frame.y, screen.y + (screen.height - 537) / 2);

  EXPECT_EQ(window.get_title(), "Morvellin");
  EXPECT_FALSE(window.get_resizable());
  EXPECT_EQ(window.get_default_widget(), nullptr);  // Enter presses no button
  Glib::RefPtr<Gdk::Pixbuf> icon = window.get_icon();
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->get_width(), 32);
  EXPECT_EQ(icon->get_height(), 32);
}

TEST_F(MainWindowTest, EveryControlFillsExactlyItsBox) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  for (const Box& box : kLayout) {
    SCOPED_TRACE(box.name);
    Gtk::Widget* widget = wt::FindByName(window, box.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->get_visible());
    EXPECT_TRUE(widget->is_sensitive());
    int left = -1, top = -1;
    ASSERT_TRUE(widget->translate_coordinates(window, 0, 0, left, top));
    EXPECT_EQ(left, box.left);
    EXPECT_EQ(top, box.top);
    EXPECT_EQ(widget->get_allocated_width(), box.width);
    EXPECT_EQ(widget->get_allocated_height(), box.height);
  }
}

TEST_F(MainWindowTest, CaptionsAreWholeOnOneLine) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  for (const Caption& caption : kCaptions) {
    SCOPED_TRACE(caption.name);
    Gtk::Label* label = CaptionOf(wt::FindByName(window, caption.name));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->get_text(), caption.text);
    // The caption fits its box: not cut short, not wrapped.
    EXPECT_FALSE(label->get_layout()->is_ellipsized());
    EXPECT_EQ(label->get_layout()->get_line_count(), 1);
  }
  Gtk::Label* slogan = CaptionOf(wt::FindByName(window, "标签12"));
  ASSERT_NE(slogan, nullptr);
  EXPECT_FALSE(slogan->get_text().empty());
  EXPECT_FALSE(slogan->get_layout()->is_ellipsized());
}

TEST_F(MainWindowTest, FontsAndColoursFollowTheLayout) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  const Gdk::RGBA red("#ff0000");
  for (const char* name : {"标签6", "标签7", "标签8", "标签9", "标签10"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(wt::FindByName(window, name)->get_style_context()->get_color(), red);
  }
  EXPECT_NE(window.标签1.get_style_context()->get_color(), red);

  for (Gtk::Label* label : {static_cast<Gtk::Label*>(&window.标签11.label), CaptionOf(&window.按钮7)}) {
    const Pango::FontDescription font = label->get_style_context()->get_font();
    EXPECT_EQ(font.get_weight(), Pango::WEIGHT_BOLD);
    // GTK keeps CSS sizes in points, at 96 pixels to 72 points.
    EXPECT_EQ(font.get_size() * 96 / 72, 12 * PANGO_SCALE);
  }
  bool underlined = false;
  PangoAttrList* attributes = gtk_label_get_attributes(window.标签11.label.gobj());
  ASSERT_NE(attributes, nullptr);
  GSList* list = pango_attr_list_get_attributes(attributes);
  for (GSList* item = list; item; item = item->next) {
    auto* attribute = static_cast<PangoAttribute*>(item->data);
    underlined = underlined || (attribute->klass->type == PANGO_ATTR_UNDERLINE &&
                                reinterpret_cast<PangoAttrInt*>(attribute)->value ==
                                    PANGO_UNDERLINE_SINGLE);
  }
  g_slist_free_full(list, reinterpret_cast<GDestroyNotify>(pango_attribute_destroy));
  EXPECT_TRUE(underlined);
  EXPECT_NE(window.标签1.get_style_context()->get_font().get_weight(), Pango::WEIGHT_BOLD);
}

TEST_F(MainWindowTest, PictureIsScaledToFitItsBox) {
  MainWindow window(options);
  Glib::RefPtr<Gdk::Pixbuf> picture = window.图片框1.get_pixbuf();
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->get_width(), 208);
  EXPECT_EQ(picture->get_height(), 270);
  // Centred in the 304 pixels of its box: 17 below the top.
  EXPECT_EQ(window.图片框1.get_valign(), Gtk::ALIGN_FILL);
  EXPECT_FLOAT_EQ(window.图片框1.property_yalign().get_value(), 0.5f);
}

TEST_F(MainWindowTest, StartsLoadingTheLoginPageWhileBuilt) {
  // A proxy on a closed loopback port: the load starts and fails here.
  options.load_login_page = true;
  options.proxy_address = "http://127.0.0.1:" + std::to_string(wt::UnusedLoopbackPort());
  MainWindow window(options);
  EXPECT_STREQ(webkit_web_view_get_uri(window.web_view()),
               "https://login.taobao.com/member/login.jhtml?redirectURL=http%3A%2F%2Fwww.taobao.com%2F");
}

TEST_F(MainWindowTest, LongLinesWrapAtTheBoxWidth) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  Glib::RefPtr<Gtk::TextBuffer> buffer = window.编辑框4.view.get_buffer();
  buffer->set_text(std::string(300, 'a'));
  wt::RunFor(200ms);
  Gdk::Rectangle first, last;
  window.编辑框4.view.get_iter_location(buffer->begin(), first);
  window.编辑框4.view.get_iter_location(buffer->end(), last);
  EXPECT_GT(last.get_y(), first.get_y());
  EXPECT_LE(last.get_x(), window.编辑框4.get_allocated_width());
}

TEST_F(MainWindowTest, ProgressBarStartsEmpty) {
  MainWindow window(options);
  EXPECT_EQ(window.进度条1.get_fraction(), 0.0);
}

struct WidthCase {
  std::vector<const char*> clicks;
  std::vector<int> widths;  // after each click
};

TEST_F(MainWindowTest, LoginButtonsSetTheWidthKeepingTheOtherEdges) {
  const WidthCase cases[] = {
      {{"按钮4", "按钮7"}, {965, 559}},
      {{"按钮7"}, {559}},
      {{"按钮4", "按钮4"}, {965, 965}},
      {{"按钮7", "按钮4", "按钮7"}, {559, 965, 559}},
  };
  for (const WidthCase& test : cases) {
    MainWindow window(wt::QuietWindowOptions());
    ASSERT_TRUE(wt::ShowAndWait(window));
    const wt::Frame start = wt::WindowFrame(window);
    for (size_t i = 0; i < test.clicks.size(); ++i) {
      SCOPED_TRACE(std::string("click ") + std::to_string(i + 1) + " on " + test.clicks[i]);
      wt::SendClick(*wt::FindByName(window, test.clicks[i]));
      EXPECT_TRUE(wt::WaitForWidth(window, test.widths[i]));
      const wt::Frame frame = wt::WindowFrame(window);
      EXPECT_EQ(frame.width, test.widths[i]);
      EXPECT_EQ(frame.x, start.x);
      EXPECT_EQ(frame.y, start.y);
      EXPECT_EQ(frame.height, 537);
    }
  }
}

struct KeyCase {
  const char* focus;
  guint state;
  bool closes;
};

TEST_F(MainWindowTest, EscapeClosesUnlessModified) {
  const KeyCase cases[] = {
      {"编辑框3", 0, true},
      {"编辑框4", 0, true},
      {"编辑框1", 0, true},
      {"按钮1", 0, true},
      {"编辑框3", GDK_MOD2_MASK, true},  // Num Lock on
      {"编辑框3", GDK_CONTROL_MASK, false},
      {"编辑框4", GDK_SHIFT_MASK, false},
      {"编辑框1", GDK_MOD1_MASK, false},
  };
  for (const KeyCase& test : cases) {
    SCOPED_TRACE(std::string(test.focus) + " state " + std::to_string(test.state));
    MainWindow window(wt::QuietWindowOptions());
    ASSERT_TRUE(wt::ShowAndWait(window));
    Gtk::Widget* focus = wt::FindByName(window, test.focus);
    if (auto* box = dynamic_cast<MultiLineBox*>(focus)) focus = &box->view;
    focus->grab_focus();
    wt::SendKey(window, GDK_KEY_Escape, test.state);
    const bool closed = wt::WaitUntil([&] { return !window.get_visible(); },
                                      test.closes ? 5s : 500ms);
    EXPECT_EQ(closed, test.closes);
    EXPECT_EQ(window.closing(), test.closes);
  }
}

// The page decides whether it takes Esc; what it leaves closes the window.
TEST_F(MainWindowTest, EscapeTakenByThePageDoesNotClose) {
  struct PageCase {
    const char* script;
    bool closes;
  };
  const PageCase cases[] = {
      {"", true},
      {"document.addEventListener('keydown', e => { if (e.key === 'Escape') e.preventDefault(); });",
       false},
  };
  for (const PageCase& test : cases) {
    SCOPED_TRACE(test.closes ? "page ignores Esc" : "page takes Esc");
    MainWindow window(wt::QuietWindowOptions());
    ASSERT_TRUE(wt::ShowAndWait(window));
    window.ShowLoginPanel();
    ASSERT_TRUE(wt::WaitForWidth(window, 965));
    const std::string page = std::string("<html><body><input id=name autofocus><script>") +
                             test.script + "</script></body></html>";
    ASSERT_TRUE(wt::LoadHtml(window.web_view(), page, "http://pane.test/"));
    gtk_widget_grab_focus(GTK_WIDGET(window.web_view()));
    wt::RunFor(200ms);
    wt::SendKey(window, GDK_KEY_Escape);
    const bool closed =
        wt::WaitUntil([&] { return !window.get_visible(); }, test.closes ? 5s : 1s);
    EXPECT_EQ(closed, test.closes);
  }
}

TEST_F(MainWindowTest, EnterBreaksTheLineInMultiLineBoxesOnly) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  for (MultiLineBox* box : {&window.编辑框3, &window.编辑框4}) {
    SCOPED_TRACE(box->get_name());
    Glib::RefPtr<Gtk::TextBuffer> buffer = box->view.get_buffer();
    buffer->set_text("ab");
    buffer->place_cursor(buffer->end());
    box->view.grab_focus();
    wt::SendKey(window, GDK_KEY_Return);
    EXPECT_TRUE(wt::WaitUntil([&] { return buffer->get_text() == "ab\r\n"; }));
    EXPECT_TRUE(box->view.is_focus());
  }
  window.编辑框1.set_text("ab");
  window.编辑框1.grab_focus();
  wt::SendKey(window, GDK_KEY_Return);
  wt::RunFor(200ms);
  EXPECT_EQ(window.编辑框1.get_text(), "ab");
  EXPECT_TRUE(window.编辑框1.is_focus());
  EXPECT_TRUE(window.get_visible());
}

struct ButtonEvent {
  GdkEventType type;
  double x, y;
  guint button;
};

TEST_F(MainWindowTest, LinkOpensTheMakersSiteOnEachReleaseOverIt) {
  struct LinkCase {
    const char* what;
    std::vector<ButtonEvent> events;
    int opened;
  };
  const LinkCase cases[] = {
      {"press and release over it",
       {{GDK_BUTTON_PRESS, 10, 10, 1}, {GDK_BUTTON_RELEASE, 60, 30, 1}}, 1},
      {"twice",
       {{GDK_BUTTON_PRESS, 10, 10, 1}, {GDK_BUTTON_RELEASE, 10, 10, 1},
        {GDK_BUTTON_PRESS, 100, 20, 1}, {GDK_BUTTON_RELEASE, 100, 20, 1}}, 2},
      {"released elsewhere",
       {{GDK_BUTTON_PRESS, 10, 10, 1}, {GDK_BUTTON_RELEASE, 200, 10, 1}}, 0},
      {"released below it", {{GDK_BUTTON_PRESS, 10, 10, 1}, {GDK_BUTTON_RELEASE, 10, 41, 1}}, 0},
      {"released without a press over it", {{GDK_BUTTON_RELEASE, 10, 10, 1}}, 0},
      {"right button", {{GDK_BUTTON_PRESS, 10, 10, 3}, {GDK_BUTTON_RELEASE, 10, 10, 3}}, 0},
  };
  for (const LinkCase& test : cases) {
    SCOPED_TRACE(test.what);
    std::vector<std::string> opened;
    MainWindowOptions recording = wt::QuietWindowOptions();
    recording.open_address = [&](const std::string& address) { opened.push_back(address); };
    MainWindow window(recording);
    ASSERT_TRUE(wt::ShowAndWait(window));
    GdkWindow* link = wt::InputWindowOf(window.标签11);
    for (const ButtonEvent& event : test.events) {
      wt::SendButton(link, event.type, event.x, event.y, event.button);
    }
    wt::RunFor(200ms);
    EXPECT_EQ(opened, std::vector<std::string>(test.opened, "http://www.velkor.example"));
  }
}

TEST_F(MainWindowTest, SavesScreenshotsNarrowAndWide) {
  MainWindow window(options);
  ASSERT_TRUE(wt::ShowAndWait(window));
  window.编辑框3.view.get_buffer()->set_text("tb_甲店铺\r\nbuyer_b\r\n一个很长很长很长很长的旺旺昵称用来看换行");
  window.编辑框4.view.get_buffer()->set_text("tb_甲店铺 2208876543\r\nbuyer_b 1911223344\r\n");
  window.编辑框1.set_text("tb_甲店铺");
  window.编辑框2.set_text("2208876543");
  window.标签5.set_text("3");
  window.进度条1.set_fraction(2.0 / 3.0);
  wt::RunFor(300ms);
  wt::SaveScreenshot(window, std::string(MORVELLIN_SCREENSHOT_DIR) + "/window-narrow.png");

  window.ShowLoginPanel();
  ASSERT_TRUE(wt::WaitForWidth(window, 965));
  ASSERT_TRUE(wt::LoadHtml(window.web_view(),
                           "<html><body style='font-family:sans-serif'>"
                           "<h3>账户登录</h3><p>账号 <input></p><p>密码 <input type=password></p>"
                           "<button>登录</button></body></html>",
                           "http://pane.test/"));
  wt::RunFor(500ms);
  wt::SaveScreenshot(window, std::string(MORVELLIN_SCREENSHOT_DIR) + "/window-wide.png");
}

}  // namespace
}  // namespace morvellin
