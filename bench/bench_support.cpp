#include "bench_support.h"

#include <arpa/inet.h>
#include <stdlib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tw::bench {

Sample FromSeconds(std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  Sample s;
  s.minimum = seconds.front();
  const size_t n = seconds.size();
  s.median = n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2;
  return s;
}

Sample Measure(int repeats, const std::function<void()>& work) {
  std::vector<double> seconds;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return FromSeconds(seconds);
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void MeasurePair(int repeats, const std::function<double()>& ours, const std::function<double()>& baseline,
                 Sample& ours_out, Sample& baseline_out) {
  std::vector<double> a, b;
  for (int i = 0; i < repeats; ++i) {
    b.push_back(baseline());
    a.push_back(ours());
  }
  ours_out = FromSeconds(a);
  baseline_out = FromSeconds(b);
}

size_t RawRequest(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  size_t total = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) total += static_cast<size_t>(n);
  }
  ::close(fd);
  return total;
}

ChildResult RunChild(const std::string& self, const std::vector<std::string>& arguments) {
  int out[2];
  if (::pipe(out) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    std::vector<char*> argv = {const_cast<char*>(self.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(self.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  ChildResult result;
  result.seconds = std::atof(text.c_str());
  result.peak_kib = usage.ru_maxrss;
  return result;
}

double ChildSeconds(const std::string& self, const std::vector<std::string>& arguments, long& peak_kib) {
  const ChildResult r = RunChild(self, arguments);
  peak_kib = std::max(peak_kib, r.peak_kib);
  return r.seconds;
}

void PrintSeconds(double seconds) { std::printf("%.6f\n", seconds); }

void Report(const std::string& figure, Sample ours, Sample baseline, double target,
            const std::string& note) {
  std::printf("%s|%.6f|%.6f|%.6f|%.6f|%.2f|%s\n", figure.c_str(), ours.median, ours.minimum,
              baseline.median, baseline.minimum, target, note.c_str());
  std::fflush(stdout);
}

void UseBenchmarkHome(const std::string& home) {
  if (!std::getenv("TARNWICK_BENCH_HOME")) {
    ::setenv("TARNWICK_BENCH_HOME", home.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  }
  ::setenv("no_proxy", "127.0.0.1", 1);
}

}  // namespace tw::bench
