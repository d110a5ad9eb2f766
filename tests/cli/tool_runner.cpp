#include "tests/cli/tool_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qb_test {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int status_of(int wait_status) {
    if (WIFEXITED(wait_status)) {
        return WEXITSTATUS(wait_status);
    }
    return WIFSIGNALED(wait_status) ? 128 + WTERMSIG(wait_status) : -1;
}

// The signals `pid` catches, from the kernel's "SigCgt" mask; 0 once it has ended.
unsigned long long caught_signals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) {
            return std::stoull(line.substr(line.find_first_not_of(" \t", 7)), nullptr, 16);
        }
    }
    return 0;
}

}  // namespace

std::vector<std::string> ToolRun::err_lines() const {
    std::vector<std::string> lines;
    std::istringstream text(err);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

ToolProcess::ToolProcess(const fs::path& folder, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& extra_environment,
                         const fs::path& program) {
    static int serial = 0;
    const std::string stem = "qb_tool_" + std::to_string(getpid()) + "_" + std::to_string(serial++);
    out_file_ = fs::temp_directory_path() / (stem + ".out");
    err_file_ = fs::temp_directory_path() / (stem + ".err");

    std::vector<std::string> environment = {
        "LSAN_OPTIONS=fast_unwind_on_malloc=0:print_suppressions=0:suppressions=" QB_SOURCE_DIR
        "/tests/cli/image_library_leaks.supp"};
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (!extra_environment.count(name) && name != "LSAN_OPTIONS") {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : extra_environment) {
        environment.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& text : environment) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> words = {program.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_file_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_file_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        throw std::runtime_error("cannot start " + program.string());
    }
}

ToolProcess::~ToolProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove(out_file_, ignored);
    fs::remove(err_file_, ignored);
}

bool ToolProcess::wait_until_catching(int signal) {
    const unsigned long long bit = 1ULL << (signal - 1);
    for (;;) {
        siginfo_t ended{};
        // Looks without reaping, so that `wait` still gets the status.
        if (waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            ended.si_pid != 0) {
            return false;
        }
        if (caught_signals(pid_) & bit) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ToolRun ToolProcess::wait(std::chrono::seconds limit) {
    ToolRun run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int wait_status = 0;
    while (waitpid(pid_, &wait_status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &wait_status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    run.status = status_of(wait_status);
    run.out = read_file(out_file_);
    run.err = read_file(err_file_);
    return run;
}

ToolRun run_tool(const fs::path& folder, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& extra_environment,
                 const fs::path& program) {
    return ToolProcess(folder, args, extra_environment, program).wait();
}

}  // namespace qb_test
