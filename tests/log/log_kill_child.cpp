// Logs without end into the file named by argv[1], in direct ("1") or queued
// ("2") mode as argv[2] says, until it is killed.
#include "log/diagnostic_log.h"
#include "platform/wide_text.h"

#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    WideString path;
    for (const char* c = argv[1]; *c != 0; ++c) {
        path += static_cast<WCHAR>(static_cast<unsigned char>(*c)); // test paths are ASCII
    }
    const auto mode = static_cast<std::uint8_t>(std::stoi(argv[2]));
    auto log = nomvera::log::TDiagnosticLog::Create(path, 20, mode);
    const WideString messages[] = {
        WIDE("Begin: Create Users"),
        WIDE("created test001 with a SID S-1-5-21-1-2-3-3001"),
        WideString(500, WIDE('w')),
        WIDE("first piece\r\nsecond piece\r\n\r\nthird piece"),
        WIDE("caf\u00e9 \U0001F600 non-ASCII text"),
        WIDE("repeated"),
        WIDE("repeated"),
        WIDE("End: Create Users"),
    };
    for (unsigned long i = 0;; ++i) {
        const WideString& message = messages[i % std::size(messages)];
        if (i % 5 == 0) {
            log->WriteError(message);
        } else {
            log->WriteInfo(message);
        }
    }
}
