// scenario-builder watch, run as a program in the background: its builds
// after saves of either kind, a burst of saves, a failed build, and the
// page server (its event stream, what it refuses, how it stops).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/background_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sb::test::Background;
using sb::test::read_bytes;
using sb::test::write_bytes;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kFixtures = SB_FIXTURE_DIR;
const std::string kStationLine = "stazione,  2500,  4,  600,  0,  0,  0,  1,  1,  0,  2,  1,  1,  0,  8,  5,  0,";

// A connection to 127.0.0.1:port that sends `request` as it is.
class Connection {
 public:
  Connection(int port, const std::string& request) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (connected) connected = ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
  }
  ~Connection() { ::close(fd_); }

  // Reads until `text` has come (true) or `limit` passed, or the
  // connection closed.
  bool read_until(const std::string& text, std::chrono::milliseconds limit = 5s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (received.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[4096];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) return false;
      received.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  bool connected = false;
  std::string received;

 private:
  int fd_ = -1;
};

std::string get(int port, const std::string& path, const std::string& host, const std::string& method = "GET") {
  Connection c(port, method + " " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
  c.read_until("\r\n\r\n<never>", 3s);
  return c.received;
}

std::string status_line(const std::string& response) { return response.substr(0, response.find("\r\n")); }

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.created());
    src_ = tmp_.path().string();
    fs::create_directory(src_ + "/out");
    fs::copy_file(kFixtures + "/Prova_linea.txt", src_ + "/Prova_linea.txt");
    fs::copy_file(kFixtures + "/Prova_100-.txt", src_ + "/Prova_100-.txt");
  }

  std::unique_ptr<Background> start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"watch", "Prova_linea.txt", "Prova_100-.txt", "--out", "out"};
    args.insert(args.end(), extra.begin(), extra.end());
    auto watch = std::make_unique<Background>(args, src_);
    EXPECT_NE(watch->line_matching("^built in [0-9]+ ms: 0 errors, 0 warnings$"), "") << watch->seen;
    return watch;
  }

  // The train file with the second station's time `time` ("h,  m,  s").
  std::string train_with_time(const std::string& time) {
    std::string bytes = read_bytes(kFixtures + "/Prova_100-.txt");
    const std::string old = kStationLine;
    const auto at = bytes.find(old);
    EXPECT_NE(at, std::string::npos);
    return bytes.replace(at, old.size(), old.substr(0, old.size() - std::string("8,  5,  0,").size()) + time + ",");
  }

  std::string train_path() const { return src_ + "/Prova_100-.txt"; }
  std::string compiled(const std::string& name) const { return read_bytes(src_ + "/out/" + name); }

  sb::test::TempDir tmp_{"sb_watch_"};
  std::string src_;
};

// How an editor saves: in place, or a new file renamed over the old one.
struct Save {
  const char* name;
  void (*save)(const std::string& path, const std::string& bytes);
};
void PrintTo(const Save& s, std::ostream* os) { *os << s.name; }

class WatchSaveTest : public WatchTest, public ::testing::WithParamInterface<Save> {};

TEST_P(WatchSaveTest, RebuildsAfterTheSave) {
  auto watch = start();
  const std::string table_before = compiled("Prova_100.sim");
  GetParam().save(train_path(), train_with_time("9,  41,  0"));
  EXPECT_NE(watch->line_matching("^rebuilding after a change to Prova_100-.txt$"), "") << watch->seen;
  EXPECT_NE(watch->line_matching("^built in [0-9]+ ms: 0 errors, 0 warnings$"), "") << watch->seen;
  EXPECT_NE(compiled("Prova_100.sim"), table_before);
  EXPECT_THAT(read_bytes(src_ + "/out/Prova_100.html"), HasSubstr("09:41:00"));
  EXPECT_EQ(watch->stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Saves, WatchSaveTest,
                         ::testing::Values(Save{"in_place", [](const std::string& path,
                                                               const std::string& bytes) { write_bytes(path, bytes); }},
                                           Save{"renamed_over",
                                                [](const std::string& path, const std::string& bytes) {
                                                  write_bytes(path + ".swp", bytes);
                                                  fs::rename(path + ".swp", path);
                                                }}),
                         [](const ::testing::TestParamInfo<Save>& info) { return std::string(info.param.name); });

TEST_F(WatchTest, BurstOfSavesIsOneRebuild) {
  auto watch = start();
  for (int i = 0; i < 6; ++i) {
    write_bytes(train_path(), train_with_time("9,  4" + std::to_string(i) + ",  0"));
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_NE(watch->line_matching("^built in"), "") << watch->seen;
  EXPECT_EQ(watch->line_matching("^rebuilding", 1500ms), "") << watch->seen;
  EXPECT_THAT(read_bytes(src_ + "/out/Prova_100.html"), HasSubstr("09:45:00"));
  EXPECT_EQ(watch->stop(), 0);
}

TEST_F(WatchTest, FailedRebuildKeepsThePreviousOutputsAndThePageShowsWhy) {
  auto watch = start();
  const auto before = sb::test::snapshot(src_ + "/out");
  // A second signal in the cell of the first one.
  std::string bytes = train_with_time("9,  41,  0");
  const std::string signal = "segnale,  2000,  1,  4,  1,  0,  0,  0,  0,  0,  0,  0";
  bytes.insert(bytes.find(signal), signal + "\r\n");
  write_bytes(train_path(), bytes);
  EXPECT_NE(watch->line_matching("^failed: [1-9][0-9]* errors?; previous outputs kept$"), "") << watch->seen;
  auto after = sb::test::snapshot(src_ + "/out");
  const std::string page = after["Prova_100.html"];
  after.erase("Prova_100.html");
  auto compiled_before = before;
  compiled_before.erase("Prova_100.html");
  EXPECT_EQ(after, compiled_before) << "a failed build changed the compiled files";
  EXPECT_THAT(page, HasSubstr("already taken by the signal at 2000 m"));
  EXPECT_EQ(watch->stop(), 0);
}

// A directory of the watched files removed or moved away is said to be
// gone, and the one made in its place is watched: its files are built.
// The new directory comes whole (made aside and renamed into place), as an
// unpacked archive or a checkout may bring it.
struct DirectoryChange {
  const char* name;
  bool working_directory;  // the watch runs in it (paths without a directory)
  bool moved;              // moved away rather than removed
};
void PrintTo(const DirectoryChange& c, std::ostream* os) { *os << c.name; }

class WatchedDirectoryTest : public WatchTest, public ::testing::WithParamInterface<DirectoryChange> {};

TEST_P(WatchedDirectoryTest, IsWatchedAgainWhenMadeAgain) {
  const DirectoryChange& c = GetParam();
  const std::string scenario = c.working_directory ? src_ : src_ + "/scen";
  const std::string shown = c.working_directory ? "." : "scen";
  const std::string prefix = c.working_directory ? "" : "scen/";
  if (!c.working_directory) {
    fs::create_directory(scenario);
    fs::rename(src_ + "/Prova_linea.txt", scenario + "/Prova_linea.txt");
    fs::rename(train_path(), scenario + "/Prova_100-.txt");
  }
  Background watch({"watch", prefix + "Prova_linea.txt", prefix + "Prova_100-.txt", "--out", "out"}, src_);
  ASSERT_NE(watch.line_matching("^built in"), "") << watch.seen;

  const std::string aside = src_ + "_aside", away = src_ + "_away";
  if (c.moved) {
    fs::rename(scenario, away);
  } else {
    fs::remove_all(scenario);
  }
  EXPECT_NE(watch.line_matching("^the directory " + shown + " was " + (c.moved ? "moved away" : "removed") +
                                "; waiting for it to be there again$"),
            "")
      << watch.seen;
  fs::create_directories(aside + "/out");
  fs::copy_file(kFixtures + "/Prova_linea.txt", aside + "/Prova_linea.txt");
  write_bytes(aside + "/Prova_100-.txt", train_with_time("9,  41,  0"));
  fs::rename(aside, scenario);
  EXPECT_NE(watch.line_matching("^watching the directory " + shown + " again$"), "") << watch.seen;
  EXPECT_NE(
      watch.line_matching("^rebuilding after a change to " + prefix + "Prova_linea.txt, " + prefix + "Prova_100-.txt$"),
      "")
      << watch.seen;
  EXPECT_NE(watch.line_matching("^built in"), "") << watch.seen;
  EXPECT_THAT(read_bytes(src_ + "/out/Prova_100.html"), HasSubstr("09:41:00")) << watch.seen;
  EXPECT_EQ(watch.stop(), 0);
  std::error_code ignored;
  fs::remove_all(away, ignored);
}

INSTANTIATE_TEST_SUITE_P(Changes, WatchedDirectoryTest,
                         ::testing::Values(DirectoryChange{"working_directory_removed", true, false},
                                           DirectoryChange{"working_directory_moved_away", true, true},
                                           DirectoryChange{"directory_of_the_files_removed", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The first Ctrl-C stops the watch at once, also while a build waits for
// another run that writes into the same directory; nothing is replaced.
TEST_F(WatchTest, FirstInterruptEndsTheWaitForAnotherRun) {
  auto watch = start();
  const auto before = sb::test::snapshot(src_ + "/out");
  const int held = ::open((src_ + "/out").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  write_bytes(train_path(), train_with_time("9,  41,  0"));
  EXPECT_NE(watch->line_matching("waiting for another run that writes into out$"), "") << watch->seen;
  const auto interrupted = std::chrono::steady_clock::now();
  watch->signal(SIGINT);
  EXPECT_EQ(watch->wait(2s), 0) << watch->seen;
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1s);
  EXPECT_THAT(watch->seen, HasSubstr("stopped watching: the wait for another run that writes into out was stopped\n"));
  ::close(held);
  EXPECT_EQ(sb::test::snapshot(src_ + "/out"), before);
}

class ServedWatchTest : public WatchTest {
 protected:
  void SetUp() override {
    WatchTest::SetUp();
    watch_ = start({"--serve", "127.0.0.1:0"});
    const std::string serving = watch_->line_matching("^serving the page at http://127.0.0.1:[0-9]+/$");
    ASSERT_NE(serving, "") << watch_->seen;
    port_ = std::stoi(serving.substr(serving.rfind(':') + 1));
    host_ = "127.0.0.1:" + std::to_string(port_);
  }
  std::unique_ptr<Background> watch_;
  int port_ = 0;
  std::string host_;
};

TEST_F(ServedWatchTest, EventStreamAnnouncesARebuildWithinASecond) {
  Connection events(port_, "GET /events HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n");
  ASSERT_TRUE(events.read_until("data: 1\n\n")) << events.received;
  EXPECT_THAT(events.received, HasSubstr("Content-Type: text/event-stream"));
  const auto saved = std::chrono::steady_clock::now();
  write_bytes(train_path(), train_with_time("9,  41,  0"));
  ASSERT_TRUE(events.read_until("event: build\ndata: 2\n\n", 1s)) << events.received;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - saved).count();
  std::cout << "save to rebuild announced: " << ms << " ms\n";
  // The page it serves is the new build's, and says which build it is.
  const std::string page = get(port_, "/", host_);
  EXPECT_EQ(status_line(page), "HTTP/1.1 200 OK");
  EXPECT_THAT(page, HasSubstr("09:41:00"));
  EXPECT_THAT(page, HasSubstr("\"live\":{\"events\":\"/events\",\"build\":2}"));
  EXPECT_THAT(page, HasSubstr("connect-src 'self'"));
}

TEST_F(ServedWatchTest, ServesThePageAndTheEventsOnly) {
  EXPECT_EQ(status_line(get(port_, "/", "localhost:" + std::to_string(port_))), "HTTP/1.1 200 OK");
  for (const std::string path : {"/index.html", "/out/Prova_100.html", "/Prova_100-.txt", "/../Prova_linea.txt",
                                 "/events/x", "/%2e%2e/Prova_linea.txt", "/out/"}) {
    EXPECT_EQ(status_line(get(port_, path, host_)), "HTTP/1.1 404 Not Found") << path;
  }
  for (const std::string method : {"POST", "PUT", "DELETE", "OPTIONS"}) {
    EXPECT_EQ(status_line(get(port_, "/", host_, method)), "HTTP/1.1 405 Method Not Allowed") << method;
  }
}

TEST_F(ServedWatchTest, RefusesAnotherHost) {
  const std::string port = std::to_string(port_);
  for (const std::string& host : std::vector<std::string>{"evil.example", "evil.example:" + port, "127.0.0.1",
                                                          "127.0.0.1:1", "localhost", "127.0.0.1:" + port + "0", ""}) {
    const std::string response = get(port_, "/", host);
    EXPECT_EQ(status_line(response), "HTTP/1.1 403 Forbidden") << host;
    EXPECT_THAT(response, Not(HasSubstr("<html"))) << host;
  }
  EXPECT_EQ(status_line(get(port_, "/events", "evil.example:" + std::to_string(port_))), "HTTP/1.1 403 Forbidden");
}

TEST_F(ServedWatchTest, StopsCleanlyOnSigintAndSigterm) {
  Connection events(port_, "GET /events HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n");
  ASSERT_TRUE(events.read_until("data: 1\n\n"));
  EXPECT_EQ(watch_->stop(SIGINT), 0);
  EXPECT_THAT(watch_->seen, HasSubstr("stopped watching"));
  // The server went with it: the stream ended and nothing listens.
  EXPECT_FALSE(events.read_until("<never>", 2s));
  EXPECT_FALSE(Connection(port_, "GET / HTTP/1.1\r\n\r\n").connected);
  EXPECT_TRUE(sb::test::names_in(src_ + "/out") ==
              std::set<std::string>({"Prova_100.dat", "Prova_100.sim", "Prova_linea.dat", "Prova_100.html"}));
}

}  // namespace
