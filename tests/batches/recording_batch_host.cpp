#include "tests/batches/recording_batch_host.h"

#include "support/text.h"

namespace nomvera::test {

std::vector<std::string> TRecordingBatchHost::Transcript() const {
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (const auto& line : lines) {
        out.push_back(std::string(1, line.level) + " " + support::NarrowText(line.text));
    }
    return out;
}

} // namespace nomvera::test
