// morvellin-lookup end to end: the built program run against a loopback
// trade-card server, its output, its cookie file and its errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "lookup/member_lookup.h"
#include "tests/support/temp_folder.h"
#include "tests/support/loopback_server.h"

namespace morvellin {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

struct RunSettings {
  std::string input = "";        // standard input
  std::string output_path = "";  // standard output; a file of the folder if empty
  bool error_on_terminal = false;  // standard error on a pseudo-terminal
};

// A started morvellin-lookup.
struct Child {
  pid_t pid = -1;
  std::string output_path;
  std::string error_path;
  int terminal = -1;  // the pseudo-terminal's master side, or -1
};

// Starts the program with `args`, standard input read from a file, and the
// outputs caught in files or on a pseudo-terminal.
Child StartCommand(const TempFolder& folder, const std::vector<std::string>& args,
                   const RunSettings& settings = {}) {
  Child child;
  const std::string input_path = folder / "stdin";
  child.output_path = settings.output_path.empty() ? folder / "stdout" : settings.output_path;
  child.error_path = folder / "stderr";
  WriteFile(input_path, settings.input);
  WriteFile(child.error_path, "");
  int terminal_slave = -1;
  if (settings.error_on_terminal && openpty(&child.terminal, &terminal_slave, nullptr, nullptr,
                                            nullptr) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
  }
  std::vector<std::string> arguments = {MORVELLIN_LOOKUP_COMMAND};
  arguments.insert(arguments.end(), args.begin(), args.end());
  child.pid = fork();
  if (child.pid == 0) {
    std::vector<char*> argv;
    for (std::string& arg : arguments) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int in = open(input_path.c_str(), O_RDONLY);
    int out = open(child.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = terminal_slave >= 0 ? terminal_slave : open(child.error_path.c_str(), O_WRONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (terminal_slave >= 0) close(terminal_slave);
  return child;
}

// Waits for the child, killing it if it runs for more than a minute.
Outcome FinishCommand(const Child& child) {
  Outcome outcome;
  int status = 0;
  for (int waited = 0; waitpid(child.pid, &status, WNOHANG) == 0; ++waited) {
    if (waited == 6000) {
      kill(child.pid, SIGKILL);
      waitpid(child.pid, &status, 0);
      ADD_FAILURE() << "morvellin-lookup ran for more than a minute";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.out = child.output_path == "/dev/full" ? "" : ReadFile(child.output_path);
  outcome.err = ReadFile(child.error_path);
  if (child.terminal >= 0) {
    char block[4096];
    for (ssize_t n; (n = read(child.terminal, block, sizeof block)) > 0;) {
      outcome.err.append(block, static_cast<size_t>(n));
    }
    close(child.terminal);
  }
  return outcome;
}

Outcome RunCommand(const TempFolder& folder, const std::vector<std::string>& args,
                   const std::string& input = "") {
  return FinishCommand(StartCommand(folder, args, {.input = input}));
}

// A trade-card server that knows three buyers, by GBK nickname; it sets a
// cookie on every answer and deletes "stale".
class LookupCommandTest : public ::testing::Test {
 protected:
  LookupCommandTest() {
    server_.Handle("/tradecard/nameCard.htm",
                   [this](const httplib::Request& request, httplib::Response& response) {
                     const std::string nickname = request.get_param_value("uid").substr(8);
                     if (nickname == "slow") server_.Stall(std::chrono::seconds(20));
                     auto found = ids_.find(nickname);
                     response.set_header("Set-Cookie", "visit=" + nickname + "; Path=/");
                     response.headers.emplace("Set-Cookie", "stale=; Domain=taobao.com; Path=/; Max-Age=0");
                     response.set_content(
                         found == ids_.end() ? "<html>no card</html>"
                                             : "<div data-buyerId=\"" + found->second + "\">",
                         "text/html");
                   });
  }

  // The arguments that send the lookups to the loopback server at once.
  std::vector<std::string> Args(std::vector<std::string> more) const {
    std::vector<std::string> args = {"--pause", "0", "--connect-to",
                                     server_.ConnectTo(kTradeCardHost, 80)};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // "买家甲" in GBK and in UTF-8.
  const std::string buyer_gbk_ = "\xc2\xf2\xbc\xd2\xbc\xd7";
  const std::string buyer_utf8_ = "\xe4\xb9\xb0\xe5\xae\xb6\xe7\x94\xb2";
  std::map<std::string, std::string> ids_ = {
      {buyer_gbk_, "111"}, {"alice", "222"}, {"", "0"}};
  TempFolder folder_;
  testing::LoopbackServer server_;
};

TEST_F(LookupCommandTest, LooksUpEveryLineOfUtf8AndGbkFiles) {
  const std::string expected = buyer_utf8_ + " 111\nalice 222\n 0\nbob \n";
  struct Case {
    std::string name;
    std::string content;
  } cases[] = {
      {"UTF-8 with BOM, mixed line ends",
       "\xef\xbb\xbf" + buyer_utf8_ + "\r\nalice\n\nbob\r\n"},
      {"GBK", buyer_gbk_ + "\r\nalice\r\n\r\nbob"},
  };
  for (const Case& c : cases) {
    WriteFile(folder_ / "names.txt", c.content);
    Outcome outcome = RunCommand(folder_, Args({folder_ / "names.txt"}));
    EXPECT_EQ(outcome.exit_code, 0) << c.name << ": " << outcome.err;
    EXPECT_EQ(outcome.out, expected) << c.name;
    EXPECT_EQ(outcome.err, "") << c.name << ": no progress bar off a terminal";
  }
  EXPECT_EQ(server_.Requests().size(), 8u);
}

TEST_F(LookupCommandTest, ReadsStandardInputWithoutOrWithDash) {
  for (std::vector<std::string> args : {Args({}), Args({"-"})}) {
    Outcome outcome = RunCommand(folder_, args, "alice\nbob\n");
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "alice 222\nbob \n");
  }
  Outcome empty = RunCommand(folder_, Args({}), "");
  EXPECT_EQ(empty.exit_code, 0);
  EXPECT_EQ(empty.out, "");
}

TEST_F(LookupCommandTest, CookieFileIsLoadedAndWrittenBack) {
  const std::string cookies = folder_ / "cookies.txt";
  // Missing at first: created at the end with what the responses set.
  Outcome first = RunCommand(folder_, Args({"--cookies", cookies}), "alice\n");
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_NE(ReadFile(cookies).find(
                "tradecardseller.wangwang.taobao.com\tFALSE\t/\tFALSE\t0\tvisit\talice\n"),
            std::string::npos)
      << ReadFile(cookies);

  // A login cookie added by hand is sent; the response's deletion sticks.
  WriteFile(cookies, ReadFile(cookies) +
                         ".taobao.com\tTRUE\t/\tFALSE\t0\t_tb_token_\tt0k\n"
                         ".taobao.com\tTRUE\t/\tFALSE\t0\tstale\tx\n");
  Outcome second = RunCommand(folder_, Args({"--cookies=" + cookies}), "bob\n");
  ASSERT_EQ(second.exit_code, 0) << second.err;
  const std::string sent = server_.Requests().back().Cookie();
  EXPECT_NE(sent.find("_tb_token_=t0k"), std::string::npos) << sent;
  EXPECT_NE(sent.find("visit=alice"), std::string::npos) << sent;
  const std::string saved = ReadFile(cookies);
  EXPECT_NE(saved.find("\tvisit\tbob\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\t_tb_token_\tt0k\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("stale"), std::string::npos) << saved;
}

TEST_F(LookupCommandTest, ErrorsExitWithTwoAndChangeNoFile) {
  const std::string names = folder_ / "names.txt";
  WriteFile(names, "alice\n");
  const std::string malformed = folder_ / "bad-cookies.txt";
  const std::string malformed_text = "shop.test\tTRUE\t/\n";
  WriteFile(malformed, malformed_text);
  const std::string fresh_cookies = folder_ / "fresh-cookies.txt";
  std::filesystem::create_directory(folder_ / "a-folder");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--bogus", names}, "unknown option '--bogus'"},
      {{"-x", names}, "unknown option '-x'"},
      {{"--pause", "soon", names}, "invalid pause 'soon'"},
      {{"--pause", "-5", names}, "invalid pause '-5'"},
      {{names, "--cookies"}, "option '--cookies' needs a value"},
      {{names, names}, "more than one input file"},
      {{"--cookies", fresh_cookies, folder_ / "missing.txt"}, "cannot read"},
      {{"--cookies", fresh_cookies, folder_ / "a-folder"}, "cannot read"},
      {{"--cookies", malformed, names}, "line 1: expected 7 tab-separated fields"},
      {{"--cookies", folder_ / "a-folder", names}, "cannot read"},
      {{"--cookies", folder_ / "no-such-folder/c.txt", names}, "cannot write"},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCommand(folder_, Args(c.args));
    EXPECT_EQ(outcome.exit_code, 2) << c.message;
    EXPECT_EQ(outcome.out, "") << c.message;
    EXPECT_EQ(outcome.err.rfind("morvellin-lookup: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
  }
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(ReadFile(malformed), malformed_text);
  EXPECT_FALSE(std::filesystem::exists(fresh_cookies));
  EXPECT_EQ(ReadFile(names), "alice\n");
}

TEST_F(LookupCommandTest, ProgressBarGoesToATerminalOnly) {
  Outcome outcome = FinishCommand(StartCommand(
      folder_, Args({}), {.input = "alice\nbob\n", .error_on_terminal = true}));
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.out, "alice 222\nbob \n") << "results stay on standard output";
  EXPECT_NE(outcome.err.find("] 1/2"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("] 2/2"), std::string::npos) << outcome.err;
}

TEST_F(LookupCommandTest, InterruptedRunKeepsItsResultsAndCookies) {
  const std::string cookies = folder_ / "cookies.txt";
  Child child = StartCommand(folder_, Args({"--cookies", cookies}),
                             {.input = "alice\nslow\nbob\n"});
  // Interrupt while the second lookup waits for its page.
  for (int i = 0; i < 1000 && server_.Requests().size() < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(server_.Requests().size(), 2u);
  kill(child.pid, SIGINT);
  Outcome outcome = FinishCommand(child);
  EXPECT_EQ(outcome.exit_code, 130);
  EXPECT_EQ(outcome.out, "alice 222\n");
  EXPECT_EQ(outcome.err, "morvellin-lookup: interrupted after 1 of 3 nicknames\n");
  EXPECT_NE(ReadFile(cookies).find("\tvisit\talice\n"), std::string::npos) << ReadFile(cookies);
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(LookupCommandTest, UnwritableOutputStopsTheRunButKeepsTheCookies) {
  const std::string cookies = folder_ / "cookies.txt";
  Outcome outcome = FinishCommand(StartCommand(
      folder_, Args({"--cookies", cookies}), {.input = "alice\nbob\n", .output_path = "/dev/full"}));
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err.rfind("morvellin-lookup: cannot write the results: ", 0), 0u)
      << outcome.err;
  EXPECT_EQ(server_.Requests().size(), 1u);
  EXPECT_NE(ReadFile(cookies).find("\tvisit\talice\n"), std::string::npos);
}

TEST_F(LookupCommandTest, HelpSaysHowToUseIt) {
  Outcome outcome = RunCommand(folder_, {"--help"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.err, "");
  for (const char* part : {"Usage: morvellin-lookup [--cookies FILE] [--pause MS] [FILE]",
                           "standard input", "\"-\"", "UTF-8", "GBK", "default 200",
                           "--connect-to", "progress bar", "Exit status"}) {
    EXPECT_NE(outcome.out.find(part), std::string::npos) << part;
  }
  EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
}  // namespace morvellin
