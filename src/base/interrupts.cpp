#include "base/interrupts.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sb {
namespace {

constexpr int kSlots = 64;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int { kFree = 0, kFilling = 1, kHeld = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathBytes];
};

Slot g_slots[kSlots];
std::atomic<int> g_shields{0};
std::atomic<int> g_pending{0};
// The writing end of the pipe that takes the first signal as a request.
std::atomic<int> g_request_fd{-1};

void write_all(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(2, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

[[noreturn]] void end_interrupted(int signal) {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == kHeld) ::unlink(slot.path);
  }
  write_all(signal == SIGINT ? "scenario-builder: interrupted (SIGINT): temporary files removed, no file replaced\n"
                             : "scenario-builder: terminated (SIGTERM): temporary files removed, no file replaced\n");
  ::_exit(128 + signal);
}

extern "C" void on_interrupt(int signal) {
  const int request_fd = g_request_fd.exchange(-1);
  if (request_fd >= 0) {
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(request_fd, &number, 1);
    return;
  }
  if (g_shields.load() > 0) {
    g_pending.store(signal);
    return;
  }
  end_interrupted(signal);
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  for (int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

int interrupts_as_requests() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  g_request_fd.store(fds[1]);
  return fds[0];
}

void TemporaryName::set(const char* path) {
  clear();
  if (std::strlen(path) >= kPathBytes) return;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::strcpy(g_slots[i].path, path);
      g_slots[i].state.store(kHeld);
      slot_ = i;
      return;
    }
  }
}

void TemporaryName::clear() noexcept {
  if (slot_ >= 0) g_slots[slot_].state.store(kFree);
  slot_ = -1;
}

InterruptShield::InterruptShield() { g_shields.fetch_add(1); }

InterruptShield::~InterruptShield() {
  if (g_shields.fetch_sub(1) == 1) {
    const int signal = g_pending.exchange(0);
    if (signal != 0) {
      write_all(signal == SIGINT ? "scenario-builder: interrupted (SIGINT): the replacement under way was finished "
                                   "first\n"
                                 : "scenario-builder: terminated (SIGTERM): the replacement under way was finished "
                                   "first\n");
      ::_exit(128 + signal);
    }
  }
}

void interrupt_test_point(const char* point) {
  static const char* const request = std::getenv("SB_TEST_RAISE");
  if (request == nullptr) return;
  static std::atomic<int> passed{0};
  const std::string r = request;
  const std::size_t at = r.find('@'), colon = r.rfind(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at) return;
  if (r.compare(at + 1, colon - at - 1, point) != 0) return;
  if (passed.fetch_add(1) + 1 != std::atoi(r.c_str() + colon + 1)) return;
  const std::string name = r.substr(0, at);
  ::raise(name == "KILL" ? SIGKILL : name == "TERM" ? SIGTERM : SIGINT);
}

}  // namespace sb
