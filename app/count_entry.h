// The count entry's rules: which typed characters reach it, and how its text
// reads as a number.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

#include "platform/wide_text.h"

namespace nomvera::app {

// A typed character passes when it is a digit "0".."9" or a control character
// (code below 32: backspace, and every key typed with Ctrl, such as Ctrl+V); every
// other typed character is dropped before it reaches the entry; so is every
// such character of text an input method composes. Text that arrives by
// pasting is not typed and is not filtered.
class TCountKeyFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    static bool CharacterPasses(WCHAR character);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace nomvera::app
