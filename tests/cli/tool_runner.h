// Runs the built quillbloom program as a person would from a shell, and keeps what it printed.
#ifndef QB_TESTS_CLI_TOOL_RUNNER_H
#define QB_TESTS_CLI_TOOL_RUNNER_H

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qb_test {

struct ToolRun {
    int status = -1;  // exit status; 128 + signal when killed by one
    std::string out;
    std::string err;
    // The lines of standard error, without their line ends.
    std::vector<std::string> err_lines() const;
};

class ToolProcess {
  public:
    // Starts the tool (or another `program`, by its full path) in `folder` with `args`, its
    // environment plus `extra_environment`.
    ToolProcess(const std::filesystem::path& folder, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& extra_environment = {},
                const std::filesystem::path& program = QB_TOOL_PATH);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Waits until the tool has its own handler for `signal` in place, so that sending it then
    // asks the tool to act on it rather than ending the process at once. False if the tool
    // ended first.
    bool wait_until_catching(int signal);
    // Waits at most `limit`; a tool still running then is killed and the run fails.
    ToolRun wait(std::chrono::seconds limit = std::chrono::seconds(600));

  private:
    std::filesystem::path out_file_;
    std::filesystem::path err_file_;
    pid_t pid_ = -1;
};

ToolRun run_tool(const std::filesystem::path& folder, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& extra_environment = {},
                 const std::filesystem::path& program = QB_TOOL_PATH);

}  // namespace qb_test

#endif
