#include "cli/check_users.h"

#include "batches/batch_steps.h"
#include "cli/logon/logon_check.h"
#include "platform/memory_wipe.h"
#include "platform/wide_text.h"
#include "support/text.h"

namespace nomvera::cli {

void CheckUsersBatch(batches::TBatchHost& host, const std::string& service) {
    const WideString caption = WIDE("Check Users");
    host.LogInfo(WIDE("Begin: ") + caption);
    host.ShowLoggingPage();
    host.ProcessMessages();
    const std::int32_t count = host.ReadCount();
    if (count < 1 || count > 999) {
        host.LogError(WIDE("Can not do; no Users to check: ") +
                      support::WidenText(support::DecimalText(count)));
        host.LogInfo(WIDE("End: ") + caption);
        return;
    }
    std::int32_t checked = 0;
    std::int32_t passed = 0;
    for (std::int32_t i = 1; i <= count; ++i) {
        if (host.ClosingRequested()) {
            continue;
        }
        const WideString name = batches::NumberedName(host.NameText(), i);
        WideString widePassword = batches::NumberedName(host.PasswordText(), i);
        std::string password = support::NarrowText(widePassword);
        const TLogonResult result = CheckLogon(service, support::NarrowText(name), password);
        platform::WipeMemory(password.data(), password.size());
        platform::WipeMemory(widePassword.data(), widePassword.size() * sizeof(WCHAR));
        ++checked;
        if (result.passed) {
            ++passed;
            host.LogInfo(WIDE("Logon checked[") + support::ShownText(name) + WIDE("]"));
        } else {
            host.LogError(WIDE("Logon refused[") + support::ShownText(name) + WIDE("] ") +
                          support::WidenText(result.step + ": " + result.message));
        }
        host.Repaint();
        host.ProcessMessages();
    }
    host.LogInfo(WIDE("Logons checked: ") + support::WidenText(support::DecimalText(passed)) +
                 WIDE(" of ") + support::WidenText(support::DecimalText(checked)) +
                 WIDE(" passed"));
    host.LogInfo(WIDE("End: ") + caption);
}

} // namespace nomvera::cli
