// The process side of headless mode: arguments, signals, the two output
// streams.
#include <cstdio>
#include <mutex>
#include <thread>

#include "headless/data_location.h"
#include "headless/headless.h"

#ifdef _WIN32
#include <atomic>
#include <chrono>
#include <csignal>
#else
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace qnl {
namespace {

std::mutex output_mutex;

bool write_line(std::FILE* stream, const std::string& line) {
  std::lock_guard lock(output_mutex);
  std::string text = line;
  text += '\n';
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
         std::fflush(stream) == 0;
}

#ifdef _WIN32
std::atomic<bool> end_requested = false;
void on_end_signal(int) {
  end_requested = true;
}
#endif

}  // namespace

int headless_main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  HeadlessOptions options;
  std::string error;
  if (!parse_headless_arguments(args, options, error)) {
    std::fprintf(stderr, "quenlo: %s\n\n%s", error.c_str(), headless_usage().c_str());
    return kHeadlessUsage;
  }
  if (options.help) {
    std::fputs(headless_usage().c_str(), stdout);
    return kHeadlessOk;
  }
  const HeadlessOutput output{
      [](const std::string& line) { return write_line(stdout, line); },
      [](const std::string& line) { write_line(stderr, iso_time_now() + " " + line); }};

#ifdef _WIN32
  std::signal(SIGINT, on_end_signal);
  std::signal(SIGTERM, on_end_signal);
  std::stop_source stop;
  std::atomic<bool> done = false;
  int code = kHeadlessOk;
  std::thread runner([&] {
    code = run_headless(options, output, stop.get_token());
    done = true;
  });
  while (!done) {
    if (end_requested) stop.request_stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  runner.join();
  return code;
#else
  // The signals are taken by this thread alone: every thread started from
  // here on inherits the blocked mask. SIGUSR1 tells it the run ended by
  // itself. A closed output is seen as a failed write, not as SIGPIPE.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  std::stop_source stop;
  int code = kHeadlessOk;
  std::thread runner([&] {
    code = run_headless(options, output, stop.get_token());
    kill(getpid(), SIGUSR1);
  });
  for (;;) {
    int signal_number = 0;
    if (sigwait(&signals, &signal_number) != 0) continue;
    if (signal_number == SIGUSR1) break;
    if (!stop.stop_requested()) {
      output.status(signal_number == SIGINT ? "SIGINT: stopping" : "SIGTERM: stopping");
      stop.request_stop();
    }
  }
  runner.join();
  return code;
#endif
}

int start_headless(int argc, char** argv) {
#ifndef _WIN32
  // The small program beside this one, started in this process's place (so
  // a service manager's process id stays right).
  const std::filesystem::path small = program_directory() / "quenlo-headless";
  std::error_code ec;
  if (std::filesystem::is_regular_file(small, ec)) {
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    const std::string file = small.string();
    args[0] = const_cast<char*>(file.c_str());
    execv(file.c_str(), args.data());
    // Not started: run here.
  }
#endif
  return headless_main(argc, argv);
}

}  // namespace qnl
