#include "form/form_view.h"

#include "platform/wide_text.h"

namespace nomvera::form {

WideString DesignCaption(TControl control) {
    switch (control) {
    case TControl::MainForm:
        return WIDE("TestTool Nomvera and/or Groups");
    case TControl::CreateDeletePage:
        return WIDE("Create/Delete");
    case TControl::LoggingPage:
        return WIDE("Logging");
    case TControl::ControlPanelPage:
        return WIDE("Control Panel");
    case TControl::ExitCodePage:
        return WIDE("ExitCode");
    case TControl::CreateRadio:
        return WIDE("Create");
    case TControl::DeleteRadio:
        return WIDE("Delete");
    case TControl::UsersRadio:
        return WIDE("Users");
    case TControl::GroupsRadio:
        return WIDE("Groups");
    case TControl::ProfileCheck:
        return WIDE("Profile");
    case TControl::NamePasswordBox:
        return WIDE("User/Group and Password (minimum 4 characters)");
    case TControl::NameLabel:
        return WIDE("Name");
    case TControl::PasswordLabel:
        return WIDE("Password:");
    case TControl::CountBox:
        return WIDE("Number of users / groups (minimum 1, maximum 999) ");
    case TControl::CountLabel:
        return WIDE("Number:");
    case TControl::RefreshButton:
        return WIDE("Refresh");
    case TControl::UserNameText:
        return WIDE("---");
    case TControl::ExitCode0Button:
        return WIDE("0");
    case TControl::ExitCode1Button:
        return WIDE("1");
    case TControl::ExitCode2Button:
        return WIDE("2");
    case TControl::NameEdit:
    case TControl::PasswordEdit:
    case TControl::CountEdit:
    case TControl::GroupPanel:
    case TControl::GroupCheckList:
    case TControl::LogList:
    case TControl::FirstBatchButton:
        break;
    }
    if (const std::size_t batch = BatchOfButton(control); batch < kBatches.size()) {
        return kBatches[batch].caption;
    }
    return {};
}

int DesignMaxLength(TControl control) {
    switch (control) {
    case TControl::NameEdit:
    case TControl::PasswordEdit:
        return 9;
    case TControl::CountEdit:
        return 3;
    default:
        return 0;
    }
}

} // namespace nomvera::form
