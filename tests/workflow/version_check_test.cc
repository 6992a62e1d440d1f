// The start-up version check: the outcome for each published body against the
// in-memory toolkit, and the real reader against a loopback server.
#include "ui/version_check.h"

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "lookup/charset.h"
#include "tests/workflow/fake_toolkit.h"

namespace morvellin {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

Text G(std::string_view utf8) { return Utf8ToGbk(utf8); }

const Text kSuffix = G("-本软件供至尊VIP内部使用！");
const FakeToolkit::MessageBox kNotice{G("已有新版本，请联系Velkor宝客服索取新版！"),
                                      G("升级提醒")};

struct VersionCase {
  const char* name;
  std::string body;       // the bytes the server sent
  bool notice;            // whether the upgrade notice is due
  std::string published;  // what lands in the caption
};

class VersionOutcomeTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionOutcomeTest, NoticeAndCaption) {
  const VersionCase& c = GetParam();
  FakeToolkit toolkit;
  CheckPublishedVersion(toolkit, [&] { return Bytes(c.body); });

  EXPECT_EQ(toolkit.window_caption, "Morvellin" + c.published + kSuffix);
  if (c.notice) {
    EXPECT_THAT(toolkit.message_boxes, ElementsAre(kNotice));
    EXPECT_TRUE(toolkit.log.front().starts_with("message "));  // before the caption
  } else {
    EXPECT_THAT(toolkit.message_boxes, IsEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, VersionOutcomeTest,
    ::testing::Values(VersionCase{"Current", "V1.0", false, "V1.0"},
                      VersionCase{"LowerCase", "v1.0", true, "v1.0"},
                      VersionCase{"Newer", "V1.1", true, "V1.1"},
                      VersionCase{"LineEnd", "V1.0\r\n", true, "V1.0\r\n"},
                      VersionCase{"ByteOrderMark", "\xEF\xBB\xBFV1.0", true, "\xEF\xBB\xBFV1.0"},
                      VersionCase{"ZeroByteThenMore", std::string("V1.0\0junk", 9), false, "V1.0"},
                      VersionCase{"Empty", "", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The real reader, with the maker's host sent to a loopback port.

class LoopbackServer {
 public:
  LoopbackServer() {
    server_.Get("/velkorrj/chaid.txt", [this](const httplib::Request& request,
                                               httplib::Response& response) {
      std::lock_guard lock(mutex_);
      host_header_ = request.get_header_value("Host");
      response.status = status_;
      response.set_content(body_, "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 500 && !server_.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }

  int port() const { return port_; }

  void Serve(int status, std::string body) {
    std::lock_guard lock(mutex_);
    status_ = status;
    body_ = std::move(body);
  }
  std::string host_header() {
    std::lock_guard lock(mutex_);
    return host_header_;
  }

 private:
  std::mutex mutex_;
  int status_ = 200;
  std::string body_;
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::string host_header_;
};

FetchOptions OptionsToLoopback(int port) {
  FetchOptions options = PublishedVersionOptions(nullptr);
  options.connect_to = {"www.velkor.example:80:127.0.0.1:" + std::to_string(port)};
  return options;
}

TEST(ReadPublishedVersionTest, ReadsBodyWhateverTheStatus) {
  LoopbackServer server;
  server.Serve(200, "V1.0");
  EXPECT_EQ(ReadPublishedVersion(OptionsToLoopback(server.port())), "V1.0");
  EXPECT_EQ(server.host_header(), "www.velkor.example");

  const std::string error_page = "<html><body>404 Not Found</body></html>";
  server.Serve(404, error_page);
  EXPECT_EQ(ReadPublishedVersion(OptionsToLoopback(server.port())), error_page);
}

// A bound socket that does not listen makes the connection be refused.
TEST(ReadPublishedVersionTest, NoServerGivesEmptyAndTheNotice) {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const FetchOptions options = OptionsToLoopback(ntohs(address.sin_port));

  EXPECT_EQ(ReadPublishedVersion(options), "");

  FakeToolkit toolkit;
  CheckPublishedVersion(toolkit, [&] { return ReadPublishedVersion(options); });
  EXPECT_THAT(toolkit.message_boxes, ElementsAre(kNotice));
  EXPECT_EQ(toolkit.window_caption, "Morvellin" + kSuffix);
  close(sock);
}

}  // namespace
}  // namespace morvellin
