// The real main window for a window test: built and shown on first use.
#pragma once

#include "app/main_form.h"

#include <QAbstractButton>
#include <QTest>

#include <memory>

namespace nomvera::test {

inline app::TMainForm& ShowFormOnce(std::unique_ptr<app::TMainForm>& form) {
    if (!form) {
        form = std::make_unique<app::TMainForm>();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) {
            qWarning("the window was not exposed");
        }
    }
    return *form;
}

inline void ClickButton(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace nomvera::test
