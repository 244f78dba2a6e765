// The Control Panel page's shortcut buttons. The window builds one button per
// entry of ShortcutButtons(), top to bottom, and calls its handler on a click.
#pragma once

#include <string>
#include <vector>

#include "platform/wide_text.h"

namespace nomvera::shortcuts {

// What a shortcut handler needs of the window.
class TShortcutHost {
public:
    virtual ~TShortcutHost() = default;
    virtual void LogInfo(const WideString& text) = 0;
    virtual void LogError(const WideString& text) = 0;
};

struct TShortcutButton {
    WideString caption;
    void (*handler)(TShortcutHost& host);
};

// The eight buttons in their order from the top.
const std::vector<TShortcutButton>& ShortcutButtons();

// The close handler's clean-up: removes the "wcpl" folder under the
// temporary folder and its one subfolder, each only when empty; silent.
void RemoveShortcutFolder();

} // namespace nomvera::shortcuts
