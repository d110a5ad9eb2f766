#include "bench/support/bench_memory.h"

#include <fstream>

namespace bench {
namespace {

constexpr double kKilobytesPerMegabyte = 1024.0;

}  // namespace

std::optional<double> status_megabytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stod(line.substr(line.find_first_of("0123456789"))) / kKilobytesPerMegabyte;
        }
    }
    return std::nullopt;
}

void reset_peak_memory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace bench
