#include "form/activity_line.h"

#include "accounts/admin_check.h"
#include "log/diagnostic_log.h"
#include "log/log_location.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/text.h"

#include <utility>

namespace nomvera::form {
namespace {

std::unique_ptr<log::TDiagnosticLog> TryCreateLog(const WideString& path) {
    try {
        return log::TDiagnosticLog::Create(path, 200, 0);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

std::unique_ptr<log::TDiagnosticLog> OpenActivityLog() {
    std::unique_ptr<log::TDiagnosticLog> writer;
    if (accounts::IsAdministrator()) {
        writer = TryCreateLog(log::PrimaryLogFilePath());
    }
    return writer != nullptr ? std::move(writer) : TryCreateLog(log::FallbackLogFilePath());
}

WideString BannerLine() {
    const WideString module = support::GetModulePath();
    return module + WIDE(" [") + support::GetFileVersionText(module) + WIDE("][ Build: ") +
           kBuildDate + WIDE("]") + WIDE("[unlimited users]");
}

WideString ActivityLine(log::TDiagnosticLog* logWriter, TActivityLevel level,
                        const WideString& message) {
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

} // namespace nomvera::form
