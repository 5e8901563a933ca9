// Runner overhead: ShellRunner::run of /bin/true against a bare posix_spawn and waitpid of the
// same program, each 200 times. Prints both totals and their ratio (goal: at most 1.5).

#include "core/disk/ShellRunner.h"
#include "support/TaskRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr int runs = 200;
const char* const program = "/bin/true";

qint64 spawnDirectly() {
    QElapsedTimer clock;
    clock.start();
    for (int index = 0; index < runs; ++index) {
        char* arguments[] = {const_cast<char*>(program), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, program, nullptr, nullptr, arguments, environ) != 0) {
            std::perror("posix_spawn");
            std::exit(1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return clock.nsecsElapsed();
}

qint64 runThroughRunner() {
    tarnwell::ShellRunner runner;
    QElapsedTimer clock;
    clock.start();
    for (int index = 0; index < runs; ++index) {
        tarnwell::testing::runTask(runner.run(QString::fromLatin1(program), {}));
    }
    return clock.nsecsElapsed();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // One warm-up round each, so that neither side pays for first-use costs.
    spawnDirectly();
    runThroughRunner();
    const qint64 direct = spawnDirectly();
    const qint64 runner = runThroughRunner();
    std::printf("runs: %d of %s\n", runs, program);
    std::printf("posix_spawn + waitpid: %.1f ms total, %.3f ms per run\n", direct / 1e6, direct / 1e6 / runs);
    std::printf("ShellRunner::run:      %.1f ms total, %.3f ms per run\n", runner / 1e6, runner / 1e6 / runs);
    std::printf("ratio: %.2f (goal: at most 1.5)\n",
                static_cast<double>(runner) / static_cast<double>(direct));
    return 0;
}
