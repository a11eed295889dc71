// Timing and raw-client helpers shared by the benchmark figures.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tw::bench {

struct Sample {
  double median = 0, minimum = 0;
};

// Runs `work` `repeats` times and returns the median and minimum seconds.
Sample Measure(int repeats, const std::function<void()>& work);
Sample FromSeconds(std::vector<double> seconds);

// The seconds `work` takes, once.
double Seconds(const std::function<void()>& work);

// Alternates baseline and ours, so that a drift of the machine hits both.
void MeasurePair(int repeats, const std::function<double()>& ours, const std::function<double()>& baseline,
                 Sample& ours_out, Sample& baseline_out);

// One request over a new connection, the reply read to the end of the
// stream: what a minimal client does. Returns the bytes received.
size_t RawRequest(int port, const std::string& request);

// Runs this program again with `arguments` and returns the seconds it
// reports on its standard output and its peak resident memory in KiB.
struct ChildResult {
  double seconds = 0;
  long peak_kib = 0;
};
ChildResult RunChild(const std::string& self, const std::vector<std::string>& arguments);
// RunChild's seconds, raising `peak_kib` to the child's peak when higher.
double ChildSeconds(const std::string& self, const std::vector<std::string>& arguments, long& peak_kib);
// What a child prints for RunChild to read: its seconds, on the first line.
void PrintSeconds(double seconds);

// "figure|ours median|ours min|baseline median|baseline min|target|note"
void Report(const std::string& figure, Sample ours, Sample baseline, double target,
            const std::string& note = "");

// Points HOME and the XDG folders at `home` (the benchmark's own settings,
// caches and stores, never the user's) unless a parent run already did, and
// keeps every request on the loopback.
void UseBenchmarkHome(const std::string& home);

}  // namespace tw::bench
