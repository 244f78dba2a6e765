// The count entry's key rule (form::TForm::CountKeyPasses) on Qt's key and
// input-method events.
#pragma once

#include <QObject>
#include <QString>

namespace nomvera::app {

// A typed character passes when the form's rule lets it (a digit "0".."9" or a
// control character: backspace, and every key typed with Ctrl, such as
// Ctrl+V); every other typed character is dropped before it reaches the
// entry; so is every such character of text an input method composes. Text
// that arrives by pasting is not typed and is not filtered.
class TCountKeyFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace nomvera::app
