// The start-up version check: the outcome for each published body against the
// in-memory toolkit, and the real reader against a loopback server.
#include "ui/version_check.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lookup/charset.h"
#include "tests/support/loopback_server.h"
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

FetchOptions OptionsToLoopback(int port) {
  FetchOptions options = PublishedVersionOptions(nullptr);
  options.connect_to = {"www.velkor.example:80:127.0.0.1:" + std::to_string(port)};
  return options;
}

TEST(ReadPublishedVersionTest, ReadsBodyWhateverTheStatus) {
  testing::LoopbackServer server;
  const std::string error_page = "<html><body>404 Not Found</body></html>";
  struct Case {
    int status;
    std::string body;
  };
  for (const Case& c : {Case{200, "V1.0"}, Case{404, error_page}}) {
    server.Handle("/velkorrj/chaid.txt", [&](const httplib::Request&, httplib::Response& response) {
      response.status = c.status;
      response.set_content(c.body, "text/plain");
    });
    EXPECT_EQ(ReadPublishedVersion(OptionsToLoopback(server.port())), c.body);
  }
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].Host(), "www.velkor.example");
}

TEST(ReadPublishedVersionTest, NoServerGivesEmptyAndTheNotice) {
  const FetchOptions options = OptionsToLoopback(testing::UnusedLoopbackPort());
  EXPECT_EQ(ReadPublishedVersion(options), "");

  FakeToolkit toolkit;
  CheckPublishedVersion(toolkit, [&] { return ReadPublishedVersion(options); });
  EXPECT_THAT(toolkit.message_boxes, ElementsAre(kNotice));
  EXPECT_EQ(toolkit.window_caption, "Morvellin" + kSuffix);
}

}  // namespace
}  // namespace morvellin
