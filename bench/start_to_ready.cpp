// How long Service::start() takes to bring the reference backend up, next to
// how long the bare backend needs from its exec until it answers the ping.
// A benchmark, not a test: it prints figures and judges nothing.
//
//   start_to_ready --home DIR [--resources DIR] [--rounds N]
//
// DIR must be a throwaway folder: the backend's data folder, the log and the
// bytecode cache go under it. Hold the port lock while it runs (the script
// bench/start_to_ready.sh does).
#include "supervisor/BackendEnvironment.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/Interpreter.h"
#include "supervisor/Service.h"
#include "supervisor/UniqueFd.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Keeps what the Service posts (its exit reports) and runs none of it.
class IdleQueue : public tarvo::platform::MainQueue {
public:
  void post(tarvo::platform::Job job) override {
    std::lock_guard guard(mutex_);
    jobs_.push_back(std::move(job));
  }
  void postAfter(double, tarvo::platform::Job job) override { post(std::move(job)); }
  void clear() {
    std::vector<tarvo::platform::Job> dropped;
    std::lock_guard guard(mutex_);
    dropped.swap(jobs_);
  }

private:
  std::mutex mutex_;
  std::vector<tarvo::platform::Job> jobs_;
};

double millisecondsSince(Clock::time_point began) {
  return std::chrono::duration<double, std::milli>(Clock::now() - began).count();
}

bool portIsFree(const tarvo::Service& service) {
  auto deadline = Clock::now() + 10s;
  while (service.pingName(0.3)) {
    if (Clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// Service::start() on a fresh Service, as the application does it.
std::optional<double> timeStart(const std::shared_ptr<tarvo::Service>& service) {
  auto began = Clock::now();
  auto failure = service->start();
  double took = millisecondsSince(began);
  if (failure) {
    std::fprintf(stderr, "start() failed: %s\n", failure->c_str());
    return std::nullopt;
  }
  service->stop();
  return took;
}

// The bare backend: the same interpreter, arguments, folder and environment,
// timed from its launch until its ping answers, polled every 2 ms.
std::optional<double> timeBare(const tarvo::Service& service, const std::string& interpreter,
                               const fs::path& logFile) {
  std::vector<std::string> inherited;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    inherited.emplace_back(*entry);
  }
  tarvo::UniqueFd log(::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  auto child = tarvo::ChildProcess::create(
      {interpreter,
       {"-m", "app", "serve", "--port", std::to_string(tarvo::Service::port)},
       service.serviceFolder().string(),
       tarvo::backendEnvironment(inherited,
                                 {service.serviceFolder(), service.home(),
                                  service.folders().bytecodeCache, service.folders().userHome},
                                 ::getpid()),
       log.get(),
       log.get()});

  auto began = Clock::now();
  if (auto failure = child->launch()) {
    std::fprintf(stderr, "the bare backend did not launch: %s\n", failure->c_str());
    return std::nullopt;
  }
  std::optional<double> took;
  auto deadline = began + 30s;
  while (Clock::now() < deadline && child->isRunning()) {
    if (service.pingName(0.6) == std::string(tarvo::Service::name)) {
      took = millisecondsSince(began);
      break;
    }
    std::this_thread::sleep_for(2ms);
  }
  child->stop(5s, 2s);
  if (!took) {
    std::fprintf(stderr, "the bare backend did not answer\n");
  }
  return took;
}

struct Summary {
  double median = 0;
  double min = 0;
  double max = 0;
};

Summary summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

} // namespace

int main(int argc, char** argv) {
  fs::path home;
  fs::path resources = fs::path(TARVO_BUNDLE_DIR) / "Resources";
  int rounds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--home") {
      home = argv[i + 1];
    } else if (option == "--resources") {
      resources = argv[i + 1];
    } else if (option == "--rounds") {
      rounds = std::max(1, std::atoi(argv[i + 1]));
    }
  }
  if (home.empty() || !fs::is_directory(home)) {
    std::fprintf(stderr, "usage: %s --home EXISTING_TEMP_DIR [--resources DIR] [--rounds N]\n",
                 argv[0]);
    return 2;
  }

  auto queue = std::make_shared<IdleQueue>();
  const tarvo::UserFolders places = tarvo::UserFolders::under(home, resources);
  auto probe = tarvo::Service::make(queue, places);
  auto interpreter = tarvo::findInterpreter(tarvo::interpreterCandidates(resources.string()));
  if (!interpreter) {
    std::fprintf(stderr, "no interpreter of 3.10 or later\n");
    return 1;
  }
  std::printf("resources   %s\ninterpreter %s (what start() finds)\nrounds      %d, "
              "after one warm-up round\n\n",
              resources.c_str(), interpreter->c_str(), rounds);

  std::vector<double> starts;
  std::vector<double> bares;
  for (int round = 0; round <= rounds; ++round) {
    bool startFirst = round % 2 == 0;
    std::optional<double> start;
    std::optional<double> bare;
    for (int side = 0; side < 2; ++side) {
      if (!portIsFree(*probe)) {
        std::fprintf(stderr, "something else holds 127.0.0.1:%d\n", tarvo::Service::port);
        return 1;
      }
      if ((side == 0) == startFirst) {
        start = timeStart(tarvo::Service::make(queue, places));
      } else {
        bare = timeBare(*probe, *interpreter, home / "bare-backend.log");
      }
    }
    queue->clear();
    if (!start || !bare) {
      return 1;
    }
    std::printf("round %2d%s  start() %8.1f ms   bare %8.1f ms\n", round,
                round == 0 ? " (warm-up)" : "          ", *start, *bare);
    if (round > 0) {
      starts.push_back(*start);
      bares.push_back(*bare);
    }
  }

  Summary s = summarise(starts);
  Summary b = summarise(bares);
  std::printf("\n%-40s %9s %9s %9s\n", "", "median", "min", "max");
  std::printf("%-40s %9.1f %9.1f %9.1f ms\n", "(a) Service::start() until it returns", s.median,
              s.min, s.max);
  std::printf("%-40s %9.1f %9.1f %9.1f ms\n", "(b) bare backend, exec to ping", b.median, b.min,
              b.max);
  std::printf("ratio of medians (a)/(b): %.2f\n", s.median / b.median);
  return 0;
}
