// Runs a command several times and prints the median wall time in seconds,
// the largest peak resident memory in KiB, the shortest wall time and the
// median processor time (user and system):
//   Measure RUNS [-r FILE] command [args...]
// With -r, FILE (the command's output) is removed before each run, so that
// every run creates it afresh. What the command prints goes to /dev/null, so
// that only the figures reach standard output.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    int first = 2;
    const char* output = nullptr;
    if (argc > 3 && std::strcmp(argv[2], "-r") == 0) {
        output = argv[3];
        first = 4;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: Measure RUNS [-r FILE] command [args...]\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    std::vector<double> seconds;
    std::vector<double> cpu;
    long peak = 0;
    for (int run = 0; run < runs; ++run) {
        if (output != nullptr) unlink(output);
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, STDOUT_FILENO);
            execvp(argv[first], argv + first);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "Measure: %s failed\n", argv[first]);
            return 1;
        }
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peak = std::max(peak, usage.ru_maxrss);
        cpu.push_back(static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%.4f %ld %.4f %.4f\n", seconds[seconds.size() / 2], peak, seconds.front(), cpu[cpu.size() / 2]);
    return 0;
}
