#pragma once

#include <string>
#include <vector>

// A program run as a child process, without a shell: its exit status or the
// signal that ended it, what it wrote, how long it took and the most memory
// it held.
struct ChildResult {
    bool started = false;
    int exitStatus = -1;    // when it exited
    int signal = 0;         // when a signal ended it (SIGKILL after a timeout)
    bool timedOut = false;  // killed after the time limit
    std::string out;
    std::string err;
    long maxRssKiB = 0;     // ru_maxrss of the child
    long parentRssKiB = 0;  // the test process's resident memory at the fork
    double seconds = 0;
};

// Runs argv[0] with `argv` and kills it after `timeLimitSeconds`. The child
// is made with fork, so that its peak memory is its own: what it holds after
// exec, or the test process's resident memory at the fork when that is more
// (vfork and posix_spawn would carry over the test process's peak). A bound
// below the test process's own size is checked against parentRssKiB.
ChildResult RunChild(const std::vector<std::string>& argv, double timeLimitSeconds);
