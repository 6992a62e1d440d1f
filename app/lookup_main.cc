// morvellin-lookup: the lookup engine without a window, for scripts. Reads
// nicknames from a file or standard input and writes "nickname ID" lines in
// UTF-8, optionally keeping the Taobao login's cookies in a cookie file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/charset.h"
#include "lookup/cookie_file.h"
#include "lookup/cookie_store.h"
#include "lookup/file_bytes.h"
#include "lookup/member_lookup.h"
#include "lookup/memory_policy.h"
#include "lookup/nickname_text.h"
#include "lookup/split.h"

namespace morvellin {
namespace {

constexpr char kProgram[] = "morvellin-lookup";
constexpr long kMaxPauseMs = 24L * 60 * 60 * 1000;

constexpr char kHelp[] =
    "Usage: morvellin-lookup [--cookies FILE] [--pause MS] [FILE]\n"
    "\n"
    "Looks up the buyer ID behind each Taobao Wangwang nickname on the\n"
    "seller-side trade card of the Taobao instant-messaging service.\n"
    "\n"
    "Nicknames are read from FILE, or from standard input when FILE is absent\n"
    "or \"-\", one per line; lines end in CR LF or LF. The text is taken as\n"
    "UTF-8 when it is valid UTF-8 (a byte-order mark is dropped), as GBK\n"
    "otherwise. It ends at a byte 0x00 or 0x1A. Nothing is trimmed: an empty\n"
    "line in the middle is a nickname of its own; a final line break adds none.\n"
    "\n"
    "For each nickname one line goes to standard output, in UTF-8: the\n"
    "nickname, one space, and the ID, which is empty when none was found.\n"
    "\n"
    "Options:\n"
    "  --cookies FILE  Load the cookies of your Taobao login from FILE before\n"
    "                  the first lookup, and write the cookies back to FILE\n"
    "                  when the run ends, with those that the responses set\n"
    "                  or deleted (like curl's -b FILE -c FILE). FILE is a\n"
    "                  Netscape cookie file, as curl and browser cookie\n"
    "                  exporters write it; it is created when missing.\n"
    "  --pause MS      Wait MS milliseconds after each nickname (default 200).\n"
    "  --connect-to HOST:PORT:HOST2:PORT2\n"
    "                  Testing aid, as in curl: a request for HOST:PORT\n"
    "                  connects to HOST2:PORT2 instead. May be repeated.\n"
    "  -h, --help      Show this text.\n"
    "\n"
    "A progress bar is drawn on standard error when it is a terminal. A request\n"
    "gives up connecting after 30 s and ends with what arrived when nothing\n"
    "comes for 60 s. Ctrl-C stops the run; the cookie file is still written.\n"
    "\n"
    "Exit status: 0 when the run ended; 2 on a bad option, a missing or\n"
    "unreadable input file, or an unreadable or malformed cookie file, with no\n"
    "file changed; 1 when the results or the cookie file could not be written;\n"
    "130 when interrupted.\n";

struct CommandLine {
  bool help = false;
  std::optional<std::string> cookie_file;
  long pause_ms = 200;
  std::vector<std::string> connect_to;
  std::string input = "-";
};

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted.store(true); }

void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = &OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a pause in progress ends at once.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed output pipe shows as a write error instead of killing the run
  // before the cookie file is written.
  signal(SIGPIPE, SIG_IGN);
}

// One line on standard error.
void Complain(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

bool ParsePause(std::string_view text, long* pause_ms) {
  if (text.empty() || text.size() > 9) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxPauseMs) return false;
  *pause_ms = value;
  return true;
}

// Returns an empty string, or what is wrong with the arguments.
std::string ParseCommandLine(int argc, char** argv, CommandLine* command) {
  bool options_ended = false;
  bool input_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!options_ended && arg.starts_with("--") && arg.size() > 2) {
      std::string_view name = arg;
      std::optional<std::string_view> value;
      if (size_t equals = arg.find('='); equals != std::string_view::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
      }
      const bool takes_value =
          name == "--cookies" || name == "--pause" || name == "--connect-to";
      if (name == "--help" && !value) {
        command->help = true;
        continue;
      }
      if (!takes_value) return "unknown option '" + std::string(arg) + "'";
      if (!value) {
        if (i + 1 >= argc) return "option '" + std::string(name) + "' needs a value";
        value = argv[++i];
      }
      if (name == "--cookies") {
        if (value->empty()) return "option '--cookies' needs a file name";
        command->cookie_file = std::string(*value);
      } else if (name == "--pause") {
        if (!ParsePause(*value, &command->pause_ms)) {
          return "invalid pause '" + std::string(*value) +
                 "': expected milliseconds from 0 to " + std::to_string(kMaxPauseMs);
        }
      } else {
        command->connect_to.emplace_back(*value);
      }
    } else if (!options_ended && arg == "--") {
      options_ended = true;
    } else if (!options_ended && arg == "-h") {
      command->help = true;
    } else if (!options_ended && arg.size() > 1 && arg.front() == '-') {
      return "unknown option '" + std::string(arg) + "'";
    } else {
      if (input_given) return "more than one input file given";
      input_given = true;
      command->input = std::string(arg);
    }
  }
  return {};
}

bool ReadInput(const std::string& input, std::string* content, std::string* error) {
  if (input == "-") {
    int failure = ReadAllFromDescriptor(STDIN_FILENO, content);
    if (failure != 0) *error = std::string("cannot read standard input: ") + std::strerror(failure);
    return failure == 0;
  }
  int failure = ReadWholeFile(input, content);
  if (failure != 0) *error = "cannot read " + input + ": " + std::strerror(failure);
  return failure == 0;
}

// Loads the cookie file when it exists, and makes sure that it can be
// written at the end, so that a run never ends with its cookies lost.
bool PrepareCookieFile(const std::string& path, CookieStore* store, std::string* error) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    if (!LoadCookieFile(path, store, error)) return false;
  } else if (errno != ENOENT) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

class ProgressBar {
 public:
  ProgressBar(bool shown, size_t total) : shown_(shown), total_(total) {}

  void Draw(size_t done) const {
    if (!shown_) return;
    constexpr size_t kWidth = 30;
    size_t filled = total_ == 0 ? kWidth : done * kWidth / total_;
    std::string bar = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') +
                      "] " + std::to_string(done) + "/" + std::to_string(total_);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
  }
  // Clears the bar's line, so that a result line written to the same
  // terminal starts at its left edge.
  void Clear() const {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  void Finish() const {
    if (shown_) std::fputs("\n", stderr);
  }

 private:
  bool shown_;
  size_t total_;
};

void Pause(long milliseconds) {
  timespec rest = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (!interrupted.load() && nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

// Returns 0, or the errno value of the failed write.
int WriteResult(std::string_view nickname, std::string_view id) {
  std::string line = GbkToUtf8(nickname);
  line += ' ';
  line += GbkToUtf8(id);
  line += '\n';
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
      std::fflush(stdout) == 0) {
    return 0;
  }
  return errno != 0 ? errno : EIO;
}

int Run(int argc, char** argv) {
  CommandLine command;
  std::string problem = ParseCommandLine(argc, argv, &command);
  if (!problem.empty()) {
    Complain(problem + " (see --help)");
    return 2;
  }
  if (command.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }

  std::string input;
  if (!ReadInput(command.input, &input, &problem)) {
    Complain(problem);
    return 2;
  }
  CookieStore cookies;
  if (command.cookie_file && !PrepareCookieFile(*command.cookie_file, &cookies, &problem)) {
    Complain(problem);
    return 2;
  }

  InstallSignalHandlers();
  KeepFreedMemoryForLookups();
  const std::vector<Text> nicknames = SplitAtCrLf(NicknameTextFromFile(input));
  FetchOptions options;
  options.cookies = &cookies;
  options.cancel = &interrupted;
  options.connect_to = command.connect_to;

  ProgressBar progress(isatty(STDERR_FILENO) == 1, nicknames.size());
  progress.Draw(0);
  int status = 0;
  size_t done = 0;
  for (const Text& nickname : nicknames) {
    if (interrupted.load()) break;
    Text id = LookupMemberId(nickname, options);
    // An interrupted lookup saw only part of its page: no line for it.
    if (interrupted.load()) break;
    progress.Clear();
    if (int failure = WriteResult(nickname, id); failure != 0) {
      progress.Finish();
      Complain(std::string("cannot write the results: ") + std::strerror(failure));
      status = 1;
      break;
    }
    ++done;
    progress.Draw(done);
    Pause(command.pause_ms);
  }
  if (status == 0) progress.Finish();

  if (command.cookie_file && !SaveCookieFile(*command.cookie_file, cookies, &problem)) {
    Complain(problem);
    status = 1;
  }
  if (status == 0 && interrupted.load()) {
    Complain("interrupted after " + std::to_string(done) + " of " +
             std::to_string(nicknames.size()) + " nicknames");
    status = 130;
  }
  return status;
}

}  // namespace
}  // namespace morvellin

int main(int argc, char** argv) { return morvellin::Run(argc, argv); }
