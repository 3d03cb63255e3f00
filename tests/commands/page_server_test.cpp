// The page server of watch --serve (scenario-builder-serve), run as a
// program on 127.0.0.1 and driven by raw connections: the page answers
// while event streams, slow headers and idle connections are held; what a
// connection may send and cost is bounded; what every response carries.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serve/page_server.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// The program beside scenario-builder, serving `page` on ADDRESS and a free
// port; its standard input announces builds.
class ServerProgram {
 public:
  ServerProgram(const std::string& page, const std::string& address = "127.0.0.1") {
    const std::string program = (fs::path(SB_EXECUTABLE).parent_path() / "scenario-builder-serve").string();
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      ::execl(program.c_str(), program.c_str(), address.c_str(), "0", page.c_str(), static_cast<char*>(nullptr));
      ::_exit(122);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0 && ::read(out[0], &c, 1) == 1) line += c;
    ::close(out[0]);
    if (line.rfind("listening ", 0) == 0) port = std::stoi(line.substr(10));
    host = "127.0.0.1:" + std::to_string(port);
  }
  ~ServerProgram() {
    if (input_ >= 0) ::close(input_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void announce(long long build) {
    const std::string line = std::to_string(build) + "\n";
    EXPECT_EQ(::write(input_, line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }
  // Its exit status after the end of its standard input.
  int end_input() {
    ::close(input_);
    input_ = -1;
    int status = -1;
    for (int i = 0; i < 300 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(10ms);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Its peak resident memory in KiB, from /proc.
  long peak_kib() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
  }

  int port = 0;
  std::string host;

 private:
  pid_t pid_ = -1;
  int input_ = -1;
};

// A connection to 127.0.0.1:port.
class Client {
 public:
  explicit Client(int port, const std::string& request = "") {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    connected = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (connected && !request.empty()) connected = send(request);
  }
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `text` came (true), `limit` passed or the connection ended.
  bool read_until(const std::string& text, std::chrono::milliseconds limit = 5s) {
    const auto until = Clock::now() + limit;
    while (received.find(text) == std::string::npos) {
      if (!read_some(until)) return false;
    }
    return true;
  }
  // Reads until the server closes the connection (true) or `limit` passes.
  bool read_to_end(std::chrono::milliseconds limit = 5s) {
    const auto until = Clock::now() + limit;
    while (read_some(until)) {
    }
    return ended;
  }

  bool connected = false;
  bool ended = false;
  std::string received;

 private:
  bool read_some(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (ended || left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      ended = true;
      return false;
    }
    received.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
};

std::string request(const std::string& path, const std::string& host, const std::string& more = "") {
  return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + more + "Connection: close\r\n\r\n";
}

// A whole GET of `path`, and how long it took in milliseconds.
std::string get(const ServerProgram& server, const std::string& path, double* ms = nullptr,
                const std::string& more = "") {
  const auto start = Clock::now();
  Client c(server.port, request(path, server.host, more));
  c.read_to_end();
  if (ms) *ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return c.received;
}

std::string status_line(const std::string& response) { return response.substr(0, response.find("\r\n")); }
std::string body_of(const std::string& response) {
  const auto at = response.find("\r\n\r\n");
  return at == std::string::npos ? "" : response.substr(at + 4);
}

// Well under a second, with room for a machine busy with other work (and
// for a sanitizer build).
constexpr double kPromptMs = 300 * std::min(sb::test::kSlowBuildSlack, 3.0);

class PageServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    page_ = (tmp_.path() / "page.html").string();
    // About the size of a page of a long line.
    std::string bytes = "<!doctype html><html><body>";
    for (int i = 0; bytes.size() < 600 * 1024; ++i) bytes += "<p>row " + std::to_string(i) + "</p>\n";
    page_bytes_ = bytes + "</body></html>\n";
    sb::test::write_bytes(page_, page_bytes_);
    server_ = std::make_unique<ServerProgram>(page_);
    ASSERT_GT(server_->port, 0);
    server_->announce(1);
  }

  // GET / a few times; the slowest, in milliseconds.
  double slowest_get() {
    double slowest = 0;
    for (int i = 0; i < 3; ++i) {
      double ms = 0;
      const std::string response = get(*server_, "/", &ms);
      EXPECT_EQ(body_of(response), page_bytes_);
      slowest = std::max(slowest, ms);
    }
    return slowest;
  }

  std::string events_request() const { return "GET /events HTTP/1.1\r\nHost: " + server_->host + "\r\n\r\n"; }

  sb::test::TempDir tmp_{"sb_serve_"};
  std::string page_, page_bytes_;
  std::unique_ptr<ServerProgram> server_;
};

TEST_F(PageServerTest, ThePageAnswersPromptlyWhileConnectionsAreHeld) {
  std::vector<std::pair<std::string, double>> figures;
  figures.emplace_back("nothing held", slowest_get());

  for (int i = 0; i < 200; ++i) {
    Client stream(server_->port, events_request());
    ASSERT_TRUE(stream.read_until("data: 1\n\n")) << i;
  }
  figures.emplace_back("200 event streams opened and closed before", slowest_get());

  std::vector<std::unique_ptr<Client>> streams, slow, idle;
  for (int i = 0; i < 8; ++i) {
    streams.push_back(std::make_unique<Client>(server_->port, events_request()));
    ASSERT_TRUE(streams.back()->read_until("data: 1\n\n"));
  }
  figures.emplace_back("8 event streams", slowest_get());

  // Headers one line at a time, a line every 2 s.
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<Client>(server_->port, "GET / HTTP/1.1\r\nHost: " + server_->host + "\r\n"));
  }
  figures.emplace_back("8 event streams, 8 slow headers", slowest_get());
  for (int i = 0; i < 200; ++i) {
    idle.push_back(std::make_unique<Client>(server_->port));
    ASSERT_TRUE(idle.back()->connected);
  }
  figures.emplace_back("8 event streams, 8 slow headers, 200 idle", slowest_get());
  std::this_thread::sleep_for(2s);
  for (auto& c : slow) EXPECT_TRUE(c->send("X-Slow: another line\r\n"));
  figures.emplace_back("the same, 2 s later", slowest_get());

  for (const auto& [load, ms] : figures) {
    std::cout << "GET / (" << load << "): " << ms << " ms\n";
    EXPECT_LT(ms, kPromptMs) << load;
  }
  // The streams held all along still hear of the next build.
  server_->announce(2);
  for (auto& s : streams) EXPECT_TRUE(s->read_until("event: build\ndata: 2\n\n", 2s)) << s->received;
}

TEST_F(PageServerTest, SlowHeadersAndIdleConnectionsAreClosedAndStreamsHearHeartbeats) {
  Client slow(server_->port, "GET / HTTP/1.1\r\n");
  Client idle(server_->port);
  Client stream(server_->port, events_request());
  ASSERT_TRUE(stream.read_until("data: 1\n\n"));
  const auto start = Clock::now();
  while (!slow.ended && Clock::now() - start < 8s) {
    slow.send("X-Slow: a line\r\n");
    slow.read_to_end(500ms);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::cout << "slow headers cut off after " << seconds << " s\n";
  EXPECT_TRUE(slow.ended);
  EXPECT_LT(seconds, 6.5);
  EXPECT_THAT(slow.received, StartsWith("HTTP/1.1 408 Request Timeout\r\n"));
  EXPECT_TRUE(idle.read_to_end(1s));
  EXPECT_EQ(idle.received, "");
  // The stream was not cut off; it heard a heartbeat meanwhile.
  EXPECT_TRUE(stream.read_until(": still here\n\n", 1s));
  EXPECT_FALSE(stream.ended);
}

TEST_F(PageServerTest, AHeaderLineWithoutAnEndKeepsMemoryBounded) {
  const long before = server_->peak_kib();
  Client c(server_->port, "GET / HTTP/1.1\r\nHost: " + server_->host + "\r\nX-Long: ");
  const std::string chunk(1 << 20, 'a');
  long sent_mib = 0;
  while (sent_mib < 800 && c.send(chunk)) ++sent_mib;
  const long peak = server_->peak_kib();
  std::cout << "one header line without an end: refused after " << sent_mib << " MiB sent; server peak memory "
            << before << " KiB before, " << peak << " KiB after\n";
  EXPECT_LT(sent_mib, 64);
  EXPECT_LT(peak, before + 4 * 1024);
  EXPECT_LT(slowest_get(), kPromptMs);

  // Heads of each size: what the server reads is bounded, not what a
  // browser sends.
  const std::string long_target = "/?" + std::string(20000, 'q');
  std::string many_headers;
  for (int i = 0; i < 300; ++i) many_headers += "X-Header-" + std::to_string(i) + ": " + std::string(60, 'v') + "\r\n";
  const std::string browser_like =
      "User-Agent: " + std::string(200, 'u') + "\r\nCookie: " + std::string(6000, 'c') + "\r\nAccept: text/html\r\n";
  const struct {
    std::string request, status;
  } cases[] = {
      {request(long_target, server_->host), "HTTP/1.1 431 Request Header Fields Too Large"},
      {request("/", server_->host, many_headers), "HTTP/1.1 431 Request Header Fields Too Large"},
      {request("/", server_->host, browser_like), "HTTP/1.1 200 OK"},
      {"GET / HTTP/1.1\r\nHost: " + server_->host + "\r\n X-Folded: x\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET / HTTP/1.1\r\nHost: " + server_->host + "\r\nHost: " + server_->host + "\r\n\r\n",
       "HTTP/1.1 400 Bad Request"},
      {"GET /  HTTP/1.1\r\nHost: " + server_->host + "\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET / HTTP/2.0\r\nHost: " + server_->host + "\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET / HTTP/1.1\r\nHost: " + server_->host + "\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 400 Bad Request"},
  };
  for (const auto& k : cases) {
    Client r(server_->port, k.request);
    r.read_to_end();
    EXPECT_EQ(status_line(r.received), k.status) << k.request.substr(0, 80);
  }
}

TEST_F(PageServerTest, RangesAndCompressionAreNotServed) {
  std::string ranges = "Range: bytes=";
  for (int i = 0; i < 1300; ++i) {
    if (i > 0) ranges += ',';
    ranges += std::to_string(i) + "-" + std::to_string(i + 1000);
  }
  for (const std::string& more : {ranges + "\r\n", std::string("Range: bytes=10-20\r\n"),
                                  std::string("Accept-Encoding: br, gzip, deflate\r\n")}) {
    const std::string response = get(*server_, "/", nullptr, more);
    EXPECT_EQ(status_line(response), "HTTP/1.1 200 OK") << more.substr(0, 40);
    EXPECT_EQ(body_of(response), page_bytes_) << more.substr(0, 40);
    EXPECT_THAT(response, Not(HasSubstr("Content-Encoding"))) << more.substr(0, 40);
  }
}

TEST_F(PageServerTest, EveryResponseRefusesFramesAndSniffing) {
  const std::string port = std::to_string(server_->port);
  const struct {
    std::string request, status;
  } cases[] = {
      {request("/", server_->host), "HTTP/1.1 200 OK"},
      {"HEAD / HTTP/1.1\r\nHost: localhost:" + port + "\r\nConnection: close\r\n\r\n", "HTTP/1.1 200 OK"},
      {request("/elsewhere", server_->host), "HTTP/1.1 404 Not Found"},
      {request("/", "evil.example:" + port), "HTTP/1.1 403 Forbidden"},
      {"POST / HTTP/1.1\r\nHost: " + server_->host + "\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
      // A page of another origin may not hold the event stream.
      {request("/events", server_->host, "Origin: http://evil.example\r\n"), "HTTP/1.1 403 Forbidden"},
      {request("/events", server_->host, "Origin: null\r\n"), "HTTP/1.1 403 Forbidden"},
  };
  for (const auto& k : cases) {
    Client r(server_->port, k.request);
    r.read_to_end();
    EXPECT_EQ(status_line(r.received), k.status) << k.request;
    const std::string head = r.received.substr(0, r.received.find("\r\n\r\n"));
    EXPECT_THAT(head, HasSubstr("\r\nContent-Security-Policy: frame-ancestors 'none'\r\n")) << k.request;
    EXPECT_THAT(head, HasSubstr("\r\nX-Frame-Options: DENY\r\n")) << k.request;
    EXPECT_THAT(head, HasSubstr("\r\nX-Content-Type-Options: nosniff\r\n")) << k.request;
  }
  // Its own origin may.
  Client own(server_->port,
             "GET /events HTTP/1.1\r\nHost: " + server_->host + "\r\nOrigin: http://" + server_->host + "\r\n\r\n");
  EXPECT_TRUE(own.read_until("data: 1\n\n"));
}

TEST_F(PageServerTest, KeepAliveAndRequestsSentTogetherAreAnsweredInTurn) {
  const std::string keep = "GET / HTTP/1.1\r\nHost: " + server_->host + "\r\n\r\n";
  Client c(server_->port, keep + "HEAD / HTTP/1.1\r\nHost: " + server_->host + "\r\n\r\n" + keep);
  ASSERT_TRUE(c.read_until("\r\n\r\n"));
  const std::string head = c.received.substr(0, c.received.find("\r\n\r\n") + 4);
  const std::string all = head + page_bytes_ + head + head + page_bytes_;
  c.read_until(all);
  EXPECT_EQ(c.received, all);
  // A new page is served as soon as it is in place.
  sb::test::write_bytes(page_ + ".new", "<p>build 2</p>");
  fs::rename(page_ + ".new", page_);
  ASSERT_TRUE(c.send(keep));
  EXPECT_TRUE(c.read_until("\r\n\r\n<p>build 2</p>"));
}

TEST_F(PageServerTest, ConnectionsAndStreamsAreCapped) {
  const sb::serve::ServerLimits limits;
  // More streams than the cap: the ones beyond are refused, and a closed
  // stream makes room at once.
  std::vector<std::unique_ptr<Client>> streams;
  for (std::size_t i = 0; i < limits.streams; ++i) {
    streams.push_back(std::make_unique<Client>(server_->port, events_request()));
    ASSERT_TRUE(streams.back()->read_until("data: 1\n\n")) << i;
  }
  Client refused(server_->port, events_request());
  refused.read_to_end();
  EXPECT_EQ(status_line(refused.received), "HTTP/1.1 503 Service Unavailable");
  streams.pop_back();
  Client taken(server_->port, events_request());
  EXPECT_TRUE(taken.read_until("data: 1\n\n"));

  // More connections than the cap: the oldest that sent nothing make way.
  std::vector<std::unique_ptr<Client>> idle;
  for (std::size_t i = 0; i < limits.connections + 40; ++i) idle.push_back(std::make_unique<Client>(server_->port));
  double ms = slowest_get();
  std::cout << "GET / with " << idle.size() << " idle connections opened: " << ms << " ms\n";
  EXPECT_LT(ms, kPromptMs);
  EXPECT_FALSE(idle.back()->read_to_end(10ms));
  std::size_t closed = 0;
  for (auto& c : idle) closed += c->read_to_end(10ms) ? 1 : 0;
  EXPECT_GE(closed, idle.size() + streams.size() + 1 - limits.connections);
  // The streams were left alone.
  server_->announce(2);
  for (auto& s : streams) EXPECT_TRUE(s->read_until("data: 2\n\n", 2s));
  EXPECT_EQ(server_->end_input(), 0);
}

TEST(PageServerHosts, NamesOfTheServerByWhereItListens) {
  const sb::serve::MachineNames machine{"workstation", {"127.0.0.1", "192.0.2.7"}};
  const struct {
    const char* address;
    const char* host;
    bool accepted;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1:8080", true},     {"127.0.0.1", "localhost:8080", true},
      {"127.0.0.1", "192.0.2.7:8080", false},    {"127.0.0.1", "workstation:8080", false},
      {"127.0.0.1", "127.0.0.1:8081", false},    {"127.0.0.1", "127.0.0.1", false},
      {"127.0.0.2", "127.0.0.2:8080", true},     {"127.0.0.2", "localhost:8080", true},
      {"0.0.0.0", "192.0.2.7:8080", true},       {"0.0.0.0", "workstation:8080", true},
      {"0.0.0.0", "localhost:8080", true},       {"0.0.0.0", "192.0.2.8:8080", false},
      {"0.0.0.0", "evil.example:8080", false},   {"0.0.0.0", "192.0.2.7", false},
      {"192.0.2.7", "192.0.2.7:8080", true},     {"192.0.2.7", "workstation:8080", true},
      {"192.0.2.7", "localhost:8080", false},    {"192.0.2.7", "127.0.0.1:8080", false},
      {"192.0.2.7", "evil.example:8080", false},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(sb::serve::names_this_server(k.host, k.address, 8080, machine), k.accepted) << k.address << " " << k.host;
  }
}

}  // namespace
