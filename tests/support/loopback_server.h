// LoopbackServer: a cpp-httplib server on 127.0.0.1 at a free port for tests.
// It answers GETs from handlers that the test sets per path (404 for other
// paths) and records every request it gets, header lines as they were sent.
// The test that creates it owns it; its destructor ends stalled handlers and
// stops the server.
#ifndef MORVELLIN_TESTS_SUPPORT_LOOPBACK_SERVER_H_
#define MORVELLIN_TESTS_SUPPORT_LOOPBACK_SERVER_H_

#include <httplib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace morvellin::testing {

struct RecordedRequest {
  std::string method;
  std::string target;   // path and query exactly as the request line had them
  std::string path;     // the target's path, percent-decoded
  std::string version;  // "HTTP/1.1"
  // The header lines without their line ends: byte for byte and in the order
  // sent on a plain server; over TLS as httplib parsed them ("Name: value",
  // sorted by name, values percent-decoded).
  std::vector<std::string> header_lines;

  // The first value of header `name` (any case), or "" when there is none.
  std::string Header(std::string_view name) const {
    for (const std::string& line : header_lines) {
      if (line.size() > name.size() + 1 && line[name.size()] == ':' &&
          EqualIgnoringCase(line.substr(0, name.size()), name)) {
        return line.substr(name.size() + 2);
      }
    }
    return {};
  }
  bool HasHeader(std::string_view name) const {
    for (const std::string& line : header_lines) {
      if (line.size() > name.size() && line[name.size()] == ':' &&
          EqualIgnoringCase(line.substr(0, name.size()), name)) {
        return true;
      }
    }
    return false;
  }
  std::string Cookie() const { return Header("Cookie"); }
  std::string Host() const { return Header("Host"); }

  static bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  }
};

// A loopback port on which nothing listens: bound once, then released.
inline int UnusedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bool bound = fd >= 0 &&
               bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (fd >= 0) close(fd);
  if (!bound) throw std::runtime_error("cannot find a free loopback port");
  return ntohs(address.sin_port);
}

namespace internal {

// A stream over one accepted socket that keeps a copy of the request head.
class RecordingStream : public httplib::Stream {
 public:
  explicit RecordingStream(int fd) : fd_(fd) {}

  bool is_readable() const override { return start_ < filled_ || Wait(POLLIN); }
  bool is_writable() const override { return Wait(POLLOUT); }
  ssize_t read(char* data, size_t size) override {
    if (start_ == filled_) {
      if (!Wait(POLLIN)) return -1;
      ssize_t n = recv(fd_, buffer_, sizeof buffer_, 0);
      if (n <= 0) return n;
      start_ = 0;
      filled_ = static_cast<size_t>(n);
    }
    size_t n = std::min(size, filled_ - start_);
    std::memcpy(data, buffer_ + start_, n);
    if (head_.find("\r\n\r\n") == std::string::npos) head_.append(data, n);
    start_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* data, size_t size) override {
    if (!Wait(POLLOUT)) return -1;
    return send(fd_, data, size, MSG_NOSIGNAL);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(&getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(&getsockname, ip, port);
  }
  int socket() const override { return fd_; }

  // The request line and header lines as received.
  const std::string& head() const { return head_; }

 private:
  bool Wait(short events) const {
    pollfd entry = {fd_, events, 0};
    return poll(&entry, 1, 5000) > 0;
  }
  void Address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    char text[INET_ADDRSTRLEN] = "";
    if (get(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
      port = ntohs(address.sin_port);
    }
    ip = text;
  }

  int fd_;
  char buffer_[4096];
  size_t start_ = 0, filled_ = 0;
  std::string head_;
};

// The stream of the request that the current thread is serving.
inline thread_local const RecordingStream* current_stream = nullptr;

// A plain server that serves one request per connection through a
// RecordingStream.
class RecordingServer : public httplib::Server {
 private:
  bool process_and_close_socket(int fd) override {
    RecordingStream stream(fd);
    current_stream = &stream;
    bool connection_closed = false;
    bool served = process_request(stream, true, connection_closed, nullptr);
    current_stream = nullptr;
    shutdown(fd, SHUT_RDWR);
    close(fd);
    return served;
  }
};

}  // namespace internal

class LoopbackServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Serves plain HTTP, or TLS when given an httplib::SSLServer.
  explicit LoopbackServer(std::unique_ptr<httplib::Server> server =
                              std::make_unique<internal::RecordingServer>())
      : server_(std::move(server)) {
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      Serve(request, response);
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  ~LoopbackServer() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    stopped_.notify_all();
    server_->stop();
    thread_.join();
  }

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

  // A curl CONNECT_TO entry that sends requests for `host`:`port` here.
  std::string ConnectTo(std::string_view host, int port = 80) const {
    return std::string(host) + ":" + std::to_string(port) + ":127.0.0.1:" +
           std::to_string(port_);
  }

  // Answers GETs of `path` (without query) with `handler`, replacing an
  // earlier one.
  void Handle(const std::string& path, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[path] = std::move(handler);
  }

  std::vector<RecordedRequest> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  // For handlers that stall: waits for `limit`, or less when the server is
  // being stopped. Returns true when the whole time passed.
  bool Stall(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopped_.wait_for(lock, limit, [this] { return stopping_; });
  }

 private:
  void Serve(const httplib::Request& request, httplib::Response& response) {
    RecordedRequest record;
    record.method = request.method;
    record.target = request.target;
    record.path = request.path;
    record.version = request.version;
    if (internal::current_stream != nullptr) {
      std::string_view head = internal::current_stream->head();
      head.remove_prefix(std::min(head.size(), head.find("\r\n") + 2));  // the request line
      while (!head.empty() && !head.starts_with("\r\n")) {
        size_t end = head.find("\r\n");
        record.header_lines.emplace_back(head.substr(0, end));
        head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
      }
    } else {
      for (const auto& [name, value] : request.headers) {
        // httplib adds the peer's addresses as if they were headers.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
            name == "LOCAL_PORT") {
          continue;
        }
        record.header_lines.push_back(name + ": " + value);
      }
    }
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(std::move(record));
      auto found = handlers_.find(request.path);
      if (found != handlers_.end()) handler = found->second;
    }
    if (handler) {
      handler(request, response);
    } else {
      response.status = 404;
      response.set_content("not found", "text/plain");
    }
  }

  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::map<std::string, Handler> handlers_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace morvellin::testing

#endif  // MORVELLIN_TESTS_SUPPORT_LOOPBACK_SERVER_H_
