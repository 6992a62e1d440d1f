// The whole program in its real window against loopback servers: start-up
// with the version check, import through the file-open dialog, the batch run,
// the copy as another program reads it, the single lookup and the clear; the
// upgrade notice before the window; input dropped during a run while the
// window keeps painting; the close box ending a run at once.
#include "ui/program.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lookup/charset.h"
#include "lookup/member_lookup.h"
#include "tests/support/loopback_server.h"
#include "tests/window/window_test_support.h"
#include "ui/addresses.h"

// Last: Xlib's macros (None, Status, True...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <gdk/gdkx.h>

namespace morvellin {
namespace {

namespace wt = morvellin::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kCardPath[] = "/tradecard/nameCard.htm";
constexpr char kVersionPath[] = "/velkorrj/chaid.txt";
constexpr char kCaptionSuffix[] = "-本软件供至尊VIP内部使用！";

// The uid parameter of a trade-card request as its address spells it
// ("cntaobao%BC%D7" for 甲).
std::string UidOf(const std::string& target) {
  const size_t start = target.find("&uid=");
  if (start == std::string::npos) return {};
  const size_t value = start + 5;
  return target.substr(value, target.find('&', value) - value);
}

// A trade card whose data-buyerId is `buyer_id` (UTF-8); for an empty ID, a
// page without one.
std::string CardPage(const std::string& buyer_id) {
  if (buyer_id.empty()) return "<html><body>没有找到</body></html>";
  return "<html><body><div class=\"card\" data-buyerId=\"" + buyer_id +
         "\"></div></body></html>";
}

// A one-shot latch between the test and a server thread.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  // True when it opened within `limit`.
  bool Wait(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return opened_.wait_for(lock, limit, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// A loopback port that refuses connections: bound and held, so that no other
// test's server can take it meanwhile, but never listening.
class RefusingPort {
 public:
  RefusingPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~RefusingPort() {
    if (fd_ >= 0) close(fd_);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

// Runs a command to its end while the main loop goes on (so that this
// process can serve the X selections the command asks for). Its standard
// output; nothing when it could not start, failed or outran `limit`.
std::optional<std::string> RunCommand(const std::vector<std::string>& command,
                                      std::chrono::milliseconds limit = 10s) {
  std::vector<const char*> argv;
  for (const std::string& word : command) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  GError* error = nullptr;
  GSubprocess* process = g_subprocess_newv(argv.data(), G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error);
  if (!process) {
    ADD_FAILURE() << command[0] << ": " << error->message;
    g_error_free(error);
    return std::nullopt;
  }
  // Shared with the callback, which may come after a wait that gave up.
  struct Outcome {
    bool done = false;
    bool abandoned = false;
    bool ok = false;
    std::string output;
  };
  auto* outcome = new Outcome;
  g_subprocess_communicate_utf8_async(
      process, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<Outcome*>(data);
        gchar* text = nullptr;
        out->ok = g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &text,
                                                       nullptr, nullptr) &&
                  g_subprocess_get_successful(G_SUBPROCESS(source));
        if (text) out->output = text;
        g_free(text);
        out->done = true;
        if (out->abandoned) delete out;
      },
      outcome);
  if (!wt::WaitUntil([&] { return outcome->done; }, limit)) {
    ADD_FAILURE() << command[0] << " did not end";
    g_subprocess_force_exit(process);
    wt::WaitUntil([&] { return outcome->done; }, 2s);
  }
  std::optional<std::string> output;
  if (outcome->done) {
    if (outcome->ok) output = outcome->output;
    delete outcome;
  } else {
    outcome->abandoned = true;
  }
  g_object_unref(process);
  return output;
}

// Real pointer and keyboard input through the X server (XTEST).
bool Xdotool(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {"xdotool"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunCommand(command).has_value();
}

// xdotool's words for moving the pointer to the middle of `widget`.
std::vector<std::string> PointerTo(Gtk::Widget& widget) {
  int x = 0, y = 0;
  gdk_window_get_origin(widget.get_toplevel()->get_window()->gobj(), &x, &y);
  int left = 0, top = 0;
  widget.translate_coordinates(*widget.get_toplevel(), widget.get_allocated_width() / 2,
                               widget.get_allocated_height() / 2, left, top);
  return {"mousemove", std::to_string(x + left), std::to_string(y + top)};
}

// What another program reads from the clipboard.
std::optional<std::string> ReadClipboardElsewhere() {
  return RunCommand({"xclip", "-selection", "clipboard", "-o"});
}

// Whether a window of this process holds the clipboard (GDK knows no other).
bool OwnsClipboard() { return gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD) != nullptr; }

// Asks the window to close as a window manager's close box does: the
// WM_DELETE_WINDOW message, through the X server.
void SendCloseRequest(Gtk::Window& window) {
  GdkWindow* own = gtk_widget_get_window(GTK_WIDGET(window.gobj()));
  GdkDisplay* display = gdk_window_get_display(own);
  Display* x_display = gdk_x11_display_get_xdisplay(display);
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = gdk_x11_window_get_xid(own);
  event.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, "WM_PROTOCOLS");
  event.xclient.format = 32;
  event.xclient.data.l[0] = gdk_x11_get_xatom_by_name_for_display(display, "WM_DELETE_WINDOW");
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(x_display, event.xclient.window, False, NoEventMask, &event);
  XFlush(x_display);
}

// Counts the button and key presses that the X server delivers to a window
// while `counting` says so, before GTK sees (or drops) them.
class PressCounter {
 public:
  PressCounter(Gtk::Window& window, std::function<bool()> counting)
      : counting_(std::move(counting)) {
    GdkWindow* own = gtk_widget_get_window(GTK_WIDGET(window.gobj()));
    window_ = gdk_x11_window_get_xid(own);
    int event = 0, error = 0;
    XQueryExtension(gdk_x11_display_get_xdisplay(gdk_window_get_display(own)), "XInputExtension",
                    &input_opcode_, &event, &error);
    gdk_window_add_filter(nullptr, &PressCounter::Filter, this);
  }
  ~PressCounter() { gdk_window_remove_filter(nullptr, &PressCounter::Filter, this); }
  PressCounter(const PressCounter&) = delete;
  PressCounter& operator=(const PressCounter&) = delete;

  int presses() const { return presses_; }

 private:
  static GdkFilterReturn Filter(GdkXEvent* native, GdkEvent*, gpointer data) {
    auto* self = static_cast<PressCounter*>(data);
    auto* event = static_cast<XEvent*>(native);
    Window target = 0;
    if (event->type == ButtonPress || event->type == KeyPress) {
      target = event->xany.window;
    } else if (event->type == GenericEvent && event->xcookie.extension == self->input_opcode_ &&
               event->xcookie.data != nullptr &&
               (event->xcookie.evtype == XI_ButtonPress || event->xcookie.evtype == XI_KeyPress)) {
      target = static_cast<XIDeviceEvent*>(event->xcookie.data)->event;
    }
    if (target != 0 && target == self->window_ && self->counting_()) ++self->presses_;
    return GDK_FILTER_CONTINUE;
  }

  std::function<bool()> counting_;
  Window window_ = 0;
  int input_opcode_ = -1;
  int presses_ = 0;
};

// The number of CR LF-ended lines in `text`.
int LineCount(const std::string& text) {
  int lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
    ++lines;
  }
  return lines;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(GDK_IS_X11_DISPLAY(gdk_display_get_default())) << "these tests drive X11";
    version_route = version_server.ConnectTo(kMakerHost);
    version_server.Handle(kVersionPath, [this](const httplib::Request&, httplib::Response& response) {
      std::lock_guard<std::mutex> lock(mutex);
      response.set_content(published_version, "text/plain");
    });
    card_server.Handle(kCardPath, [this](const httplib::Request& request,
                                         httplib::Response& response) {
      const std::string uid = UidOf(request.target);
      {
        std::lock_guard<std::mutex> lock(mutex);
        card_times.push_back(Clock::now());
      }
      if (before_card) before_card(uid);
      const auto found = buyer_ids.find(uid);
      response.set_content(CardPage(found == buyer_ids.end() ? "" : found->second),
                           "text/html; charset=utf-8");
    });
  }

  void TearDown() override {
    card_gate.Open();
    program.reset();
    wt::RunFor(200ms);  // callbacks the window left queued must not find it gone
  }

  MainWindowOptions Options() {
    MainWindowOptions options = wt::QuietWindowOptions();
    options.fetch.connect_to = {card_server.ConnectTo(kTradeCardHost), version_route};
    return options;
  }

  void PublishVersion(const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex);
    published_version = body;
  }

  // What the upgrade notice looked like, if it came.
  struct Notice {
    bool shown = false;
    std::string title, text;
    bool window_on_screen = false;  // when the notice came
  };

  // Builds the program and runs its start, answering the notice when it
  // comes, then waits until the window is on screen: at its own place, or
  // at `place` when given.
  Notice StartProgram(std::optional<std::pair<int, int>> place = std::nullopt) {
    program = std::make_unique<Program>(Options());
    MainWindow& window = program->window();
    if (place) window.move(place->first, place->second);
    Notice notice;
    sigc::connection watch = WhenShown<Gtk::MessageDialog>([&](Gtk::MessageDialog& dialog) {
      notice.shown = true;
      notice.title = dialog.get_title();
      notice.text = dialog.property_text().get_value();
      notice.window_on_screen = window.get_visible() || window.get_mapped();
      dialog.response(Gtk::RESPONSE_OK);
    });
    program->Start();
    watch.disconnect();
    EXPECT_TRUE(wt::WaitUntil([&] {
      const wt::Frame frame = wt::WindowFrame(window);
      return window.get_mapped() && frame.width == MainWindow::kStartWidth &&
             (!place || (frame.x == place->first && frame.y == place->second));
    }));
    return notice;
  }

  // Every 50 ms, until it has acted once or the connection is cut: acts on a
  // mapped dialog of type D.
  template <typename D>
  sigc::connection WhenShown(std::function<void(D&)> act) {
    return Glib::signal_timeout().connect(
        [act] {
          for (Gtk::Window* shown : Gtk::Window::list_toplevels()) {
            if (auto* dialog = dynamic_cast<D*>(shown); dialog && dialog->get_mapped()) {
              act(*dialog);
              return false;
            }
          }
          return true;
        },
        50);
  }

  // Clicks 按钮2 and picks `file` in the real file-open dialog; true once the
  // import has ended.
  bool ImportFile(const std::string& file) {
    bool picked = false;
    sigc::connection answer =
        WhenShown<Gtk::FileChooserDialog>([&](Gtk::FileChooserDialog& dialog) {
          dialog.set_filename(file);
          wt::WaitUntil([&] { return dialog.get_filename() == file; });
          picked = dialog.get_filename() == file;
          dialog.response(Gtk::RESPONSE_ACCEPT);
        });
    wt::SendClick(program->window().按钮2);
    const bool ended = wt::WaitUntil([&] { return picked && !program->window().busy(); }, 20s);
    answer.disconnect();
    return ended;
  }

  // A GBK nickname file in the scratch folder.
  static std::string WriteNicknameFile(const std::string& utf8_text) {
    const std::string file = wt::NewScratchSubfolder("nicknames") + "/名单.txt";
    std::ofstream(file, std::ios::binary) << Utf8ToGbk(utf8_text);
    return file;
  }

  // A multi-line box's text as GTK holds it (UTF-8).
  static std::string BoxText(MultiLineBox& box) { return box.view.get_buffer()->get_text(true); }

  // The uids of the trade-card requests so far, in order.
  std::vector<std::string> CardUids() const {
    std::vector<std::string> uids;
    for (const wt::RecordedRequest& request : card_server.Requests()) {
      uids.push_back(UidOf(request.target));
    }
    return uids;
  }

  // Shared with the servers' threads; declared before the servers, so that
  // it outlives them.
  std::mutex mutex;
  std::string published_version = "V1.0";           // guarded by mutex
  std::vector<Clock::time_point> card_times;         // guarded by mutex
  // uid as the address escapes it → buyer ID (UTF-8) on its card.
  const std::map<std::string, std::string> buyer_ids = {
      {"cntaobao%BC%D7", "2208876543"},  // 甲
      {"cntaobaob", "1002"},
      {"cntaobaoc", "买家3"},
      {"cntaobaod", "1004"},
      {"cntaobao%D2%D2x", "3003"},  // 乙x
  };
  // Runs on a server thread before a card is answered; set before the run.
  std::function<void(const std::string& uid)> before_card;
  Gate card_gate;
  std::atomic<bool> card_connection_closed{false};

  wt::LoopbackServer version_server;
  wt::LoopbackServer card_server;
  std::string version_route;  // where requests for the maker's host go
  std::unique_ptr<Program> program;
};

TEST_F(ProgramTest, DoesTheWholeJobEndToEnd) {
  const Notice notice = StartProgram();
  EXPECT_FALSE(notice.shown) << notice.title;
  MainWindow& window = program->window();
  EXPECT_EQ(window.get_title(), std::string("MorvellinV1.0") + kCaptionSuffix);
  const std::vector<wt::RecordedRequest> version_requests = version_server.Requests();
  ASSERT_EQ(version_requests.size(), 1u);
  EXPECT_EQ(version_requests[0].target, kVersionPath);
  EXPECT_EQ(version_requests[0].version, "HTTP/1.0");
  EXPECT_EQ(version_requests[0].Header("Accept"), "*/*");
  EXPECT_EQ(version_requests[0].Host(), kMakerHost);

  // Import: the GBK file through the real dialog.
  ASSERT_TRUE(ImportFile(WriteNicknameFile("甲\r\nb\r\nc\r\n")));
  EXPECT_EQ(BoxText(window.编辑框3), "甲\r\nb\r\nc\r\n");
  EXPECT_EQ(window.标签5.get_text(), "3");
  EXPECT_EQ(program->workflow().NicknameCount(), 3);

  // The run: one line per entry in file order, the bar full, a pause after
  // every lookup.
  wt::SendClick(window.按钮1);
  ASSERT_TRUE(wt::WaitUntil([&] { return CardUids().size() == 3 && !window.busy(); }, 30s));
  const std::string results = "甲 2208876543\r\nb 1002\r\nc 买家3\r\n";
  EXPECT_EQ(BoxText(window.编辑框4), results);
  EXPECT_DOUBLE_EQ(window.进度条1.get_fraction(), 1.0);
  EXPECT_EQ(CardUids(), (std::vector<std::string>{"cntaobao%BC%D7", "cntaobaob", "cntaobaoc"}));
  for (const wt::RecordedRequest& request : card_server.Requests()) {
    EXPECT_EQ(request.path, kCardPath);
    EXPECT_EQ(request.Host(), kTradeCardHost);
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(card_times.size(), 3u);
    for (size_t i = 1; i < card_times.size(); ++i) {
      EXPECT_GE(card_times[i] - card_times[i - 1], 200ms) << "no pause before entry " << i + 1;
    }
  }

  // The copy: the confirmation, and the results on the clipboard for other
  // programs, as UTF-8. Another window test may take the clipboard in
  // between; only then is the copy repeated.
  std::optional<std::string> pasted;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Notice confirmation;
    sigc::connection answer = WhenShown<Gtk::MessageDialog>([&](Gtk::MessageDialog& dialog) {
      confirmation.shown = true;
      confirmation.title = dialog.get_title();
      confirmation.text = dialog.property_text().get_value();
      dialog.response(Gtk::RESPONSE_OK);
    });
    wt::SendClick(window.按钮5);
    ASSERT_TRUE(wt::WaitUntil([&] { return confirmation.shown && !window.busy(); }, 20s));
    answer.disconnect();
    EXPECT_EQ(confirmation.title, "复制完成！");
    EXPECT_EQ(confirmation.text, "复制成功！请粘贴到您新建的TXT文本里！");
    pasted = ReadClipboardElsewhere();
    if (pasted == results || OwnsClipboard()) break;
  }
  EXPECT_EQ(pasted, results);

  // The single lookup of a typed nickname: no line, no pause, no progress.
  window.编辑框1.grab_focus();
  wt::SendKey(window, gdk_unicode_to_keyval(U'乙'));
  wt::SendKey(window, GDK_KEY_x);
  ASSERT_TRUE(wt::WaitUntil([&] { return window.编辑框1.get_text() == "乙x"; }));
  wt::SendClick(window.按钮3);
  ASSERT_TRUE(wt::WaitUntil([&] { return window.编辑框2.get_text() == "3003"; }, 20s));
  EXPECT_EQ(CardUids().size(), 4u);
  EXPECT_EQ(CardUids().back(), "cntaobao%D2%D2x");
  EXPECT_EQ(BoxText(window.编辑框4), results);

  // The clear empties the four boxes; the list, its count and the bar stay.
  wt::SendClick(window.按钮6);
  ASSERT_TRUE(wt::WaitUntil([&] { return BoxText(window.编辑框4).empty(); }));
  EXPECT_EQ(window.编辑框1.get_text(), "");
  EXPECT_EQ(window.编辑框2.get_text(), "");
  EXPECT_EQ(BoxText(window.编辑框3), "");
  EXPECT_EQ(window.标签5.get_text(), "3");
  EXPECT_EQ(program->workflow().NicknameList().size(), 3u);
  EXPECT_DOUBLE_EQ(window.进度条1.get_fraction(), 1.0);
}

TEST_F(ProgramTest, UpgradeNoticeComesBeforeTheWindowShows) {
  struct Case {
    const char* name;
    std::optional<std::string> published;  // none: nothing listens for the maker's host
    std::string caption;
  };
  const Case cases[] = {
      {"newer version", "V1.1", std::string("MorvellinV1.1") + kCaptionSuffix},
      {"no server", std::nullopt, std::string("Morvellin") + kCaptionSuffix},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PublishVersion(c.published.value_or(""));
    RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    version_route = c.published ? version_server.ConnectTo(kMakerHost)
                                : std::string(kMakerHost) + ":80:127.0.0.1:" +
                                      std::to_string(refusing.port());
    const size_t requests_before = version_server.Requests().size();

    const Notice notice = StartProgram();
    EXPECT_TRUE(notice.shown);
    EXPECT_EQ(notice.title, "升级提醒");
    EXPECT_EQ(notice.text, "已有新版本，请联系Velkor宝客服索取新版！");
    EXPECT_FALSE(notice.window_on_screen);
    EXPECT_EQ(version_server.Requests().size(), requests_before + (c.published ? 1 : 0));
    EXPECT_EQ(program->window().get_title(), c.caption);
    program.reset();
  }
}

TEST_F(ProgramTest, InputDuringARunIsDroppedWhileTheWindowKeepsPainting) {
  before_card = [this](const std::string& uid) {
    card_server.Stall(400ms);  // a slow server
    // The second card waits until the input below is in, so that it lands
    // during the run whatever the machine's load.
    if (uid == "cntaobaob") card_gate.Wait(20s);
  };
  // Real pointer input goes to whatever window is on top at the pointer.
  // The other window tests centre their windows on the same display, so this
  // one stands at the left edge, its buttons where none of theirs reach.
  StartProgram(std::pair{-180, 0});
  MainWindow& window = program->window();
  const std::string file_text = "甲\r\nb\r\nc\r\nd\r\n";
  ASSERT_TRUE(ImportFile(WriteNicknameFile(file_text)));

  // What the window painted while the run was under way.
  bool painted_lines = false;
  bool painted_progress = false;
  window.编辑框4.view.signal_draw().connect(
      [&](const Cairo::RefPtr<Cairo::Context>&) {
        const int lines = LineCount(BoxText(window.编辑框4));
        if (window.busy() && lines > 0 && lines < 4) painted_lines = true;
        return false;
      },
      false);
  window.进度条1.signal_draw().connect(
      [&](const Cairo::RefPtr<Cairo::Context>&) {
        const double shown = window.进度条1.get_fraction();
        if (window.busy() && shown > 0 && shown < 1) painted_progress = true;
        return false;
      },
      false);
  PressCounter presses_while_busy(window, [&] { return window.busy(); });

  // Once the first line is in: a second click on 按钮1, a click on 按钮6,
  // Space on the focused 按钮1 and a letter for 编辑框1. On an idle window
  // each would act.
  bool input_sent_during_run = false;
  sigc::connection interrupt = Glib::signal_timeout().connect(
      [&] {
        if (!window.busy() || BoxText(window.编辑框4).empty()) return true;
        window.按钮1.grab_focus();
        std::vector<std::string> input = PointerTo(window.按钮1);
        for (const char* word : {"click", "1"}) input.push_back(word);
        for (const std::string& word : PointerTo(window.按钮6)) input.push_back(word);
        for (const char* word : {"click", "1", "key", "space"}) input.push_back(word);
        EXPECT_TRUE(Xdotool(input));
        window.编辑框1.grab_focus();
        EXPECT_TRUE(Xdotool({"type", "z"}));
        // The server has delivered it all; GTK meets it on its next turns.
        gdk_display_sync(gdk_display_get_default());
        wt::RunFor(300ms);
        input_sent_during_run = window.busy();
        card_gate.Open();
        return false;
      },
      20);

  std::vector<std::string> start = PointerTo(window.按钮1);
  for (const char* word : {"click", "1"}) start.push_back(word);
  ASSERT_TRUE(Xdotool(start));
  ASSERT_TRUE(wt::WaitUntil([&] { return CardUids().size() >= 4 && !window.busy(); }, 40s));
  interrupt.disconnect();
  wt::RunFor(1s);  // room for anything queued to show

  EXPECT_TRUE(input_sent_during_run);
  EXPECT_GE(presses_while_busy.presses(), 4);
  EXPECT_EQ(BoxText(window.编辑框4), "甲 2208876543\r\nb 1002\r\nc 买家3\r\nd 1004\r\n");
  EXPECT_EQ(CardUids().size(), 4u);
  EXPECT_EQ(BoxText(window.编辑框3), file_text);
  EXPECT_EQ(window.编辑框1.get_text(), "");
  EXPECT_TRUE(painted_lines);
  EXPECT_TRUE(painted_progress);
  EXPECT_DOUBLE_EQ(window.进度条1.get_fraction(), 1.0);

  // The same input reaches the idle window.
  window.编辑框1.grab_focus();
  ASSERT_TRUE(Xdotool({"type", "z"}));
  EXPECT_TRUE(wt::WaitUntil([&] { return window.编辑框1.get_text() == "z"; }));
  std::vector<std::string> clear = PointerTo(window.按钮6);
  for (const char* word : {"click", "1"}) clear.push_back(word);
  ASSERT_TRUE(Xdotool(clear));
  EXPECT_TRUE(wt::WaitUntil([&] {
    return BoxText(window.编辑框4).empty() && BoxText(window.编辑框3).empty() &&
           window.编辑框1.get_text().empty();
  }));
}

TEST_F(ProgramTest, CloseBoxDuringARunCancelsTheLookupAndEndsTheProgram) {
  before_card = [this](const std::string&) {
    // Holds the answer until the client hangs up, 30 s at most.
    const int fd = wt::internal::current_stream ? wt::internal::current_stream->socket() : -1;
    const auto give_up = Clock::now() + 30s;
    while (fd >= 0 && Clock::now() < give_up) {
      pollfd hangup = {fd, POLLIN | POLLRDHUP, 0};
      char byte;
      if (poll(&hangup, 1, 0) > 0) {
        const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
          card_connection_closed = true;
          return;
        }
      }
      if (!card_server.Stall(20ms)) return;  // the server is stopping
    }
  };
  StartProgram();
  MainWindow& window = program->window();
  ASSERT_TRUE(ImportFile(WriteNicknameFile("甲\r\nb\r\nc\r\n")));

  // The program's loop, which ends when its window goes, as the
  // application's does.
  Glib::RefPtr<Glib::MainLoop> loop = Glib::MainLoop::create();
  window.signal_hide().connect([&] { loop->quit(); });
  bool gave_up = false;
  sigc::connection guard = Glib::signal_timeout().connect(
      [&] {
        gave_up = true;
        loop->quit();
        return false;
      },
      60000);
  // The close box once the first lookup is stalled at the server.
  std::optional<Clock::time_point> close_sent;
  bool busy_at_close = false;
  sigc::connection closer = Glib::signal_timeout().connect(
      [&] {
        if (CardUids().empty()) return true;
        busy_at_close = window.busy();
        close_sent = Clock::now();
        SendCloseRequest(window);
        return false;
      },
      20);
  wt::SendClick(window.按钮1);
  loop->run();
  const Clock::time_point ended = Clock::now();
  guard.disconnect();
  closer.disconnect();

  ASSERT_FALSE(gave_up);
  ASSERT_TRUE(close_sent.has_value());
  EXPECT_TRUE(busy_at_close);
  EXPECT_LT(ended - *close_sent, 3s) << "the stalled lookup was waited for";
  EXPECT_TRUE(window.closing());
  EXPECT_FALSE(window.get_visible());
  EXPECT_TRUE(wt::WaitUntil([&] { return card_connection_closed.load(); }, 5s));

  program.reset();
  wt::RunFor(1s);
  EXPECT_EQ(CardUids().size(), 1u) << "a lookup after the close";
}

}  // namespace
}  // namespace morvellin
