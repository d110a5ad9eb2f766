// Output files appear whole or not at all: they are written under a temporary name in the
// output's own folder (so the rename stays on one file system) and renamed over the final name
// only once complete. An existing output is replaced only by a complete new one.
#ifndef QB_CLI_ATOMIC_OUTPUT_H
#define QB_CLI_ATOMIC_OUTPUT_H

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

class AtomicOutput {
  public:
    // Throws SessionError (bad input) when the output's folder does not exist.
    explicit AtomicOutput(std::filesystem::path final_path);
    // Removes the temporary file unless it was committed.
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Where to write: hidden, unique to this process and call, same extension as the output.
    const std::filesystem::path& temporary_path() const { return temporary_; }
    const std::filesystem::path& final_path() const { return final_; }
    // Writes `bytes` to the temporary file, checking every write and the close: a full disk or
    // a file-size limit fails here, before anything is renamed. Throws SessionError (bad input).
    void write(const std::vector<unsigned char>& bytes) const;
    // Renames the temporary file to the final name. Throws SessionError (bad input) on failure.
    void commit();

  private:
    std::filesystem::path final_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};

// Throws SessionError (bad input) when `path`'s folder does not exist or is no folder.
void require_output_folder(const std::filesystem::path& path);

}  // namespace cli

#endif
