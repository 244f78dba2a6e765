#include "app/activity_line.h"

#include "log/diagnostic_log.h"

namespace nomvera::app {

std::u16string ActivityLine(log::TDiagnosticLog* logWriter, TActivityLevel level,
                            const std::u16string& message) {
    if (logWriter == nullptr || !logWriter->IsActive()) {
        return message;
    }
    switch (level) {
    case TActivityLevel::Warning:
        return logWriter->WriteWarning(message);
    case TActivityLevel::Error:
        return logWriter->WriteError(message);
    case TActivityLevel::Info:
        break;
    }
    return logWriter->WriteInfo(message);
}

} // namespace nomvera::app
