#include "diskutil/ProcessCommandRunner.h"

#include "diskutil/FileText.h"
#include "diskutil/ToolError.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarnwell {

namespace {

// Both ends of a pipe, closed on every path out.
class Pipe {
public:
    Pipe() {
        if (::pipe2(m_ends, O_CLOEXEC) != 0) {
            throw ToolError("Could not create a pipe: " + FileText::systemError());
        }
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int end(int which) const { return m_ends[which]; }
    void closeEnd(int which) {
        if (m_ends[which] >= 0) {
            ::close(m_ends[which]);
            m_ends[which] = -1;
        }
    }

private:
    int m_ends[2] = {-1, -1};
};

const char* const systemFolders[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};

std::vector<std::string> environmentWithUtf8Locale(ProcessCommandRunner::Trust trust) {
    std::vector<std::string> environment;
    if (trust == ProcessCommandRunner::Trust::SystemOnly) {
        // Helpers such as mount.ntfs-3g are found on this PATH.
        environment.emplace_back("PATH=/usr/sbin:/usr/bin:/sbin:/bin");
    } else {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            if (std::strncmp(*entry, "LC_ALL=", 7) != 0) {
                environment.emplace_back(*entry);
            }
        }
    }
    environment.emplace_back("LC_ALL=C.UTF-8");
    return environment;
}

// The program's absolute path in the first system folder that has it.
std::string systemProgram(const std::string& program) {
    for (const char* folder : systemFolders) {
        const std::string candidate = std::string(folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    throw ToolError("Could not start " + program + ": it is in none of the system's program folders");
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

ProcessCommandRunner::ProcessCommandRunner(Trust trust, int timeoutMilliseconds)
    : m_trust(trust)
    , m_timeoutMilliseconds(timeoutMilliseconds) {
}

CommandResult ProcessCommandRunner::run(const std::string& program,
                                        const std::vector<std::string>& arguments) {
    const std::string path = m_trust == Trust::SystemOnly ? systemProgram(program) : program;
    Pipe output;
    Pipe error;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.end(1), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error.end(1), STDERR_FILENO);
    std::vector<std::string> argumentTexts = {program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = environmentWithUtf8Locale(m_trust);
    pid_t pid = 0;
    const int started = m_trust == Trust::SystemOnly
                            ? ::posix_spawn(&pid, path.c_str(), &actions, nullptr,
                                            pointers(argumentTexts).data(), pointers(environment).data())
                            : ::posix_spawnp(&pid, path.c_str(), &actions, nullptr,
                                             pointers(argumentTexts).data(), pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        throw ToolError("Could not start " + program + ": " + std::strerror(started));
    }
    output.closeEnd(1);
    error.closeEnd(1);

    CommandResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMilliseconds);
    // The process's end is watched as well as its output: a helper it leaves running in the
    // background may hold the output open.
    const int processFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd descriptors[3] = {{output.end(0), POLLIN, 0}, {error.end(0), POLLIN, 0}, {processFd, POLLIN, 0}};
    std::string* texts[2] = {&result.output, &result.error};
    bool exited = false;
    while (descriptors[0].fd >= 0 || descriptors[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        // Once the process has ended, only what it already wrote is read.
        const int wait = exited ? 0 : static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        const int ready = ::poll(descriptors, 3, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 && exited) {
            break;
        }
        if (ready <= 0) {
            // Never leave a mount or unmount running behind our back: wait for it to end after the kill.
            ::kill(pid, SIGKILL);
            waitFor(pid);
            if (processFd >= 0) {
                ::close(processFd);
            }
            throw ToolError(program + " did not finish within " +
                            std::to_string(m_timeoutMilliseconds / 1000) + " seconds");
        }
        if (descriptors[2].fd >= 0 && descriptors[2].revents != 0) {
            exited = true;
            descriptors[2].fd = -1;
        }
        for (int index = 0; index < 2; ++index) {
            if (descriptors[index].fd < 0 || descriptors[index].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t count = ::read(descriptors[index].fd, buffer, sizeof buffer);
            if (count > 0) {
                texts[index]->append(buffer, static_cast<size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                descriptors[index].fd = -1;
            }
        }
    }
    if (processFd >= 0) {
        ::close(processFd);
    }
    const int status = waitFor(pid);
    if (!WIFEXITED(status)) {
        throw ToolError(program + " crashed");
    }
    result.exitCode = WEXITSTATUS(status);
    return result;
}

} // namespace tarnwell
