#include "app/count_entry.h"

#include "form/form.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace nomvera::app {

bool TCountKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A letter typed with Ctrl held is a control character (Ctrl+V is 22),
        // whatever text the platform reports with it. Ctrl+Alt is AltGr on
        // some systems and types a real character, which is filtered.
        const Qt::KeyboardModifiers held =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (held == Qt::ControlModifier) {
            return QObject::eventFilter(watched, event);
        }
        // The Delete key types no character, though X11 reports it with the
        // text "\x7f"; it edits the entry like the arrow keys do.
        if (key->key() == Qt::Key_Delete) {
            return QObject::eventFilter(watched, event);
        }
        const QString text = key->text();
        for (const QChar character : text) {
            if (!form::TForm::CountKeyPasses(character.unicode())) {
                return true;
            }
        }
    }
    if (event->type() == QEvent::InputMethod) {
        // An input method's composed text is typed text as well: each of its
        // characters goes through the same rule.
        auto* composed = static_cast<QInputMethodEvent*>(event);
        QString kept;
        for (const QChar character : composed->commitString()) {
            if (form::TForm::CountKeyPasses(character.unicode())) {
                kept.append(character);
            }
        }
        if (kept.size() != composed->commitString().size()) {
            composed->setCommitString(kept, composed->replacementStart(),
                                      composed->replacementLength());
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nomvera::app
