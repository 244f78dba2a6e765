#include "cli/logon/logon_check.h"

#include <security/pam_appl.h>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace nomvera::cli {
namespace {

struct TConversation {
    const std::string* password;
    std::string told; // error and info texts of the stack, "; " between them
};

void Wipe(char* text) {
    if (text != nullptr) {
        volatile char* p = text;
        while (*p != '\0') {
            *p++ = '\0';
        }
    }
}

void FreeResponses(pam_response* responses, int count) {
    for (int i = 0; i < count; ++i) {
        Wipe(responses[i].resp);
        std::free(responses[i].resp);
    }
    std::free(responses);
}

// Hidden prompts get the password; a visible prompt (a module asking for
// something else, such as a one-time code) gets nothing, so the logon fails
// rather than hangs. Messages are kept for the error line.
int Converse(int count, const pam_message** messages, pam_response** out, void* data) {
    auto* conversation = static_cast<TConversation*>(data);
    if (count <= 0 || count > PAM_MAX_NUM_MSG || out == nullptr) {
        return PAM_CONV_ERR;
    }
    auto* responses = static_cast<pam_response*>(std::calloc(count, sizeof(pam_response)));
    if (responses == nullptr) {
        return PAM_BUF_ERR;
    }
    for (int i = 0; i < count; ++i) {
        const pam_message* message = messages[i];
        switch (message->msg_style) {
        case PAM_PROMPT_ECHO_OFF:
            responses[i].resp = strdup(conversation->password->c_str());
            if (responses[i].resp == nullptr) {
                FreeResponses(responses, count);
                return PAM_BUF_ERR;
            }
            break;
        case PAM_PROMPT_ECHO_ON:
            FreeResponses(responses, count);
            return PAM_CONV_ERR;
        case PAM_ERROR_MSG:
        case PAM_TEXT_INFO:
            if (message->msg != nullptr && *message->msg != '\0') {
                if (!conversation->told.empty()) {
                    conversation->told += "; ";
                }
                conversation->told += message->msg;
            }
            break;
        default:
            FreeResponses(responses, count);
            return PAM_CONV_ERR;
        }
    }
    *out = responses;
    return PAM_SUCCESS;
}

std::string Described(pam_handle_t* handle, int code, const std::string& told) {
    std::string text = pam_strerror(handle, code);
    text += " [" + std::to_string(code) + "]";
    if (!told.empty()) {
        text += " (" + told + ")";
    }
    return text;
}

} // namespace

TLogonResult CheckLogon(const std::string& service, const std::string& user,
                        const std::string& password) {
    TLogonResult result;
    TConversation conversation{&password, {}};
    const pam_conv conv{&Converse, &conversation};
    pam_handle_t* handle = nullptr;
    int code = pam_start(service.c_str(), user.c_str(), &conv, &handle);
    if (code != PAM_SUCCESS) {
        result.step = "pam_start";
        result.message = Described(handle, code, {});
        if (handle != nullptr) {
            pam_end(handle, code);
        }
        return result;
    }
    code = pam_authenticate(handle, PAM_DISALLOW_NULL_AUTHTOK);
    if (code != PAM_SUCCESS) {
        result.step = "pam_authenticate";
    } else {
        code = pam_acct_mgmt(handle, PAM_DISALLOW_NULL_AUTHTOK);
        if (code != PAM_SUCCESS) {
            result.step = "pam_acct_mgmt";
        }
    }
    if (code == PAM_SUCCESS) {
        result.passed = true;
    } else {
        result.message = Described(handle, code, conversation.told);
    }
    pam_end(handle, code);
    return result;
}

bool SystemRootIsThisMachine() {
    const char* value = std::getenv("NOMVERA_SYSROOT");
    if (value == nullptr || *value == '\0') {
        return true;
    }
    struct stat root {};
    struct stat named {};
    if (value[0] != '/' || stat("/", &root) != 0 || stat(value, &named) != 0) {
        return false;
    }
    return root.st_dev == named.st_dev && root.st_ino == named.st_ino;
}

} // namespace nomvera::cli
