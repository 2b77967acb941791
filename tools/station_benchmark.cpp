// Times `firmware-updater --simulate update --all` over 1, 2, 4 and 8
// simulated devices that take 15 ms a transfer, and reports the wall time
// and the peak memory of each run: several devices at once should take
// about as long as one, and cost little more memory than one.
//
// usage: station-benchmark PROGRAM

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Measured {
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

Measured RunWith(const char* program, int devices) {
    std::fflush(stdout);  // nothing buffered goes out twice through the child
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("FWUP_DEMO_DEVICES", std::to_string(devices).c_str(), 1);
        setenv("FWUP_DEMO_DELAY_MS", "15", 1);
        // Output that cannot be silenced would be measured with the rest.
        if (std::freopen("/dev/null", "w", stdout) == nullptr ||
            std::freopen("/dev/null", "w", stderr) == nullptr)
            _exit(127);
        execl(program, program, "--simulate", "update", "--all", static_cast<char*>(nullptr));
        _exit(127);
    }
    Measured measured;
    rusage usage{};
    int status = 0;
    if (child < 0 || wait4(child, &status, 0, &usage) < 0) return measured;
    measured.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.peakKilobytes = usage.ru_maxrss;
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: station-benchmark PROGRAM\n");
        return 2;
    }
    std::printf("devices  wall (s)  vs one  peak memory (KiB)  vs one\n");
    Measured one;
    for (int devices : {1, 2, 4, 8}) {
        const Measured run = RunWith(argv[1], devices);
        if (run.status != 0) {
            std::fprintf(stderr, "station-benchmark: %d devices: exit status %d\n", devices,
                         run.status);
            return 1;
        }
        if (devices == 1) one = run;
        std::printf("%7d  %8.3f  %5.2fx  %17ld  %+6ld\n", devices, run.seconds,
                    run.seconds / one.seconds, run.peakKilobytes,
                    run.peakKilobytes - one.peakKilobytes);
    }
    return 0;
}
