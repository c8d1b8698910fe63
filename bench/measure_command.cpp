// Runs a command and reports its wall time, CPU time and peak memory.
// Usage: measure_command PROGRAM [ARGS...]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure_command PROGRAM [ARGS...]\n");
        return 2;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) < 0) {
        std::perror("measure_command");
        return 1;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                       static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    std::fprintf(
        stderr,
        "measured: exit %d, %.2f s wall, %.3f s CPU (%.3f %% of a core), peak RSS %.1f MB\n",
        WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall, cpu, 100.0 * cpu / wall,
        static_cast<double>(ru.ru_maxrss) / 1024.0);
    return 0;
}
