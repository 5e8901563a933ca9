// A program that plays the parts of the processes editors start as, copied under the names the
// tests give it:
//   sleep S                        lives S seconds
//   spawn S CMD... [+ CMD...]      starts each command without waiting for it, then lives S seconds
//   dispatch ARGS...               a launcher reached through a link: runs ../NAME/current/bin/NAME
//                                  beside the link's folder, NAME being the name it was started by
//   runtime MOUNT PROGRAM ARGS...  a portable image's runtime: a child serves MOUNT until shortly
//                                  after its parent ends, and the runtime runs MOUNT/PROGRAM in its place
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void pause(double seconds) {
    timespec rest{static_cast<time_t>(seconds),
                  static_cast<long>((seconds - static_cast<time_t>(seconds)) * 1e9)};
    while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

[[noreturn]] void run(std::vector<std::string> command) {
    std::vector<char*> arguments;
    for (std::string& argument : command) {
        arguments.push_back(argument.data());
    }
    arguments.push_back(nullptr);
    ::execv(arguments.front(), arguments.data());
    ::_exit(127);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string mode = arguments.empty() ? "" : arguments.front();
    if (mode == "sleep" && arguments.size() == 2) {
        pause(std::atof(arguments[1].c_str()));
        return 0;
    }
    if (mode == "spawn" && arguments.size() >= 3) {
        std::vector<std::string> command;
        for (std::size_t index = 2; index <= arguments.size(); ++index) {
            if (index < arguments.size() && arguments[index] != "+") {
                command.push_back(arguments[index]);
                continue;
            }
            if (!command.empty() && ::fork() == 0) {
                run(command);
            }
            command.clear();
        }
        pause(std::atof(arguments[1].c_str()));
        return 0;
    }
    if (mode == "dispatch") {
        const std::string invocation = argv[0];
        const std::string name = invocation.substr(invocation.rfind('/') + 1);
        std::vector<std::string> command{folderOf(folderOf(invocation)) + '/' + name + "/current/bin/" +
                                         name};
        command.insert(command.end(), arguments.begin() + 1, arguments.end());
        run(command);
    }
    if (mode == "runtime" && arguments.size() >= 3) {
        const pid_t runtime = ::getpid();
        if (::fork() == 0) {
            while (::getppid() == runtime) {
                pause(0.02);
            }
            pause(0.1);
            ::_exit(0);
        }
        char image[4096];
        const ssize_t length = ::readlink("/proc/self/exe", image, sizeof image - 1);
        image[length > 0 ? length : 0] = '\0';
        ::setenv("APPIMAGE", image, 1);
        ::setenv("APPDIR", arguments[1].c_str(), 1);
        std::vector<std::string> command{arguments[1] + '/' + arguments[2]};
        command.insert(command.end(), arguments.begin() + 3, arguments.end());
        run(command);
    }
    return 2;
}
