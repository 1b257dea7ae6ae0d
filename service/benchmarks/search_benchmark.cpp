// One 50-song query against the test music service, through the real request layers and script
// engine, with a recording window: wall time from the search command to the last row, the
// client's CPU time, and the process's peak memory. Not a test: run by hand (see README).
//
//   search_benchmark [runs]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "service/song_search.h"
#include "service/tests/fake_window.h"
#include "testservice/test_service.h"

namespace {

// Tells when the last cell of the expected last row has been set.
class TimedWindow : public FakeWindow {
public:
    TimedWindow(Text keyword, int rows) : FakeWindow(std::move(keyword)), rows_(rows) {}
    void setCell(int row, int column, const Text& text) override {
        FakeWindow::setCell(row, column, text);
        if (row == rows_ - 1 && column == 4) {
            std::lock_guard lock(mutex_);
            done_ = true;
            changed_.notify_all();
        }
    }
    bool waitForLastRow(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return done_; });
    }

private:
    int rows_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string musicServiceScript() {
    std::string script = TestService::defaultScript();
    return script.replace(script.rfind('/') + 1, std::string::npos, "music_service.py");
}

bool measure(int delayMs, int runs) {
    setenv("QUORVO_TEST_DELAY_MS", std::to_string(delayMs).c_str(), 1);
    TestService service(musicServiceScript());
    if (!service.running()) {
        std::fprintf(stderr, "the test music service did not start\n");
        return false;
    }
    setenv("QUORVO_HOST", ("127.0.0.1:" + std::to_string(service.port())).c_str(), 1);

    constexpr int kSongs = 50;
    std::vector<double> wall, cpu;
    for (int run = 0; run <= runs; ++run) {  // run 0 warms up
        TimedWindow window("bench", kSongs);
        const double cpuBefore = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        // The worker is joined (the search command would detach it) so that its clean-up does
        // not overlap the next run and the window outlives it.
        std::thread worker([&window] { searchSongs(window); });
        const bool finished = window.waitForLastRow(std::chrono::seconds(120));
        const auto end = std::chrono::steady_clock::now();
        worker.join();
        if (!finished) {
            std::fprintf(stderr, "the query did not finish\n");
            return false;
        }
        if (window.rows().size() != kSongs) {
            std::fprintf(stderr, "expected %d rows, got %zu\n", kSongs, window.rows().size());
            return false;
        }
        if (run == 0) continue;
        wall.push_back(std::chrono::duration<double>(end - start).count());
        cpu.push_back(cpuSeconds() - cpuBefore);
    }
    const double floor = (kSongs + 1) * delayMs / 1000.0;
    std::printf("delay %3d ms: wall %.3f s median (min %.3f, max %.3f)", delayMs, median(wall),
                *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()));
    if (delayMs) std::printf(" = %.3f x the floor of %.2f s", median(wall) / floor, floor);
    std::printf(", client CPU %.3f s median\n", median(cpu));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    setenv("CURL_CA_BUNDLE", TestService::caFile().c_str(), 1);
    std::printf("one query for \"bench\" (50 songs, 51 requests), %d runs each\n", runs);
    if (!measure(0, runs) || !measure(20, runs)) return 1;
    std::printf("peak resident memory of this process: %.1f MiB\n", peakMiB());
}
