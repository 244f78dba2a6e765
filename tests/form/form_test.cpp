// The main window's logic over a recording view, with the real account and
// profile stand-ins over a sandbox system root and the real log writer.
#include "accounts/account_server.h"
#include "accounts/admin_check.h"
#include "accounts/profile_service.h"
#include "form/activity_line.h"
#include "form/form.h"
#include "form/program_state.h"
#include "form/start_up.h"
#include "log/diagnostic_log.h"
#include "support/files.h"
#include "support/text.h"
#include "tests/common/test_environment.h"
#include "tests/form/batch_buttons.h"
#include "tests/form/recording_form_view.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace nomvera::form {
namespace {

using test::TRecordingFormView;
using C = TControl;
using namespace ::nomvera::test; // the batch buttons by name

std::string Utf8(const WideString& text) {
    return support::NarrowText(text);
}

bool EndsWith(const WideString& text, const WideString& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Every expected piece is part of a recorded call, each after the previous one.
::testing::AssertionResult InOrder(const std::vector<std::string>& calls,
                                   const std::vector<std::string>& pieces) {
    std::size_t at = 0;
    for (const std::string& piece : pieces) {
        while (at < calls.size() && calls[at].find(piece) == std::string::npos) {
            ++at;
        }
        if (at == calls.size()) {
            return ::testing::AssertionFailure() << "no call with \"" << piece << "\" in order";
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartSupportUnits();
        BindWindowModule();
        ChosenExitCode = 0;
    }
    void TearDown() override {
        form_.reset();
        ReleaseWindowModule();
        StopSupportUnits();
    }

    // The form over the view, after its creation handler.
    TForm& Create() {
        form_ = std::make_unique<TForm>(view_);
        view_.form = form_.get();
        form_->CreateHandler();
        return *form_;
    }
    void Clicks(const std::vector<C>& radios) {
        for (const C radio : radios) {
            view_.ClickRadio(radio);
        }
    }
    std::vector<std::string> Calls(std::size_t from) const {
        return {view_.calls.begin() + static_cast<std::ptrdiff_t>(from), view_.calls.end()};
    }
    std::string AdminLogPath() const { return environment_.StateFolder() + "/kelRostery.utf8.log"; }
    bool WriterActive() { return form_->LogWriter() != nullptr && form_->LogWriter()->IsActive(); }

    test::TWindowTestEnvironment environment_;
    TRecordingFormView view_;
    std::unique_ptr<TForm> form_;
};

TEST_F(FormTest, CreationHandlerRunsItsStepsInOrder) {
    Create();
    const WideString caption = WIDE("Vantrel :: TestTool Nomvera and Groups :: build 01-Jan-2023");
    EXPECT_TRUE(InOrder(view_.calls,
                        {"|I|Begin: Create)", "|I|." + test::ShownMessage(Utf8(BannerLine())) + ")",
                         "SetCaption(MainForm, " + Utf8(caption) + ")",
                         "SetCaption(UserNameText,  " + Utf8(support::GetSamUserName()) + " )",
                         "SetMaxLength(NameEdit, 17)", "SetMaxLength(PasswordEdit, 17)",
                         "SetActivePage(CreateDeletePage)",
                         "SetCaption(CreateDeletePage, Create/Delete)", "|I|.End: Create)"}));
    EXPECT_EQ(view_.activePage, C::CreateDeletePage);
    EXPECT_EQ(view_.State(C::MainForm).caption, caption);
    ASSERT_TRUE(WriterActive());
    // As root no "not an ..." line: begin, banner, the account service, end.
    if (accounts::IsAdministrator()) {
        ASSERT_EQ(view_.logLines.size(), 4u);
        EXPECT_TRUE(EndsWith(view_.logLines[2], WIDE(".") + accounts::AccountServiceLine()));
        EXPECT_TRUE(EndsWith(view_.logLines[2], WIDE(" (local)")));
    }
    // The group list waits for Create + Users.
    EXPECT_TRUE(view_.groups.empty());
}

TEST_F(FormTest, AFailedCreationStepSkipsTheStepsAfterIt) {
    BeforeCaptionStepTestSeam = [] { throw std::runtime_error("creation failed on purpose"); };
    struct Unset {
        ~Unset() { BeforeCaptionStepTestSeam = nullptr; }
    } unset;
    Create();
    EXPECT_EQ(view_.State(C::MainForm).caption, DesignCaption(C::MainForm));
    EXPECT_EQ(view_.State(C::UserNameText).caption, WIDE("---"));
    EXPECT_EQ(view_.State(C::NameEdit).maxLength, 9);
    ASSERT_FALSE(view_.logLines.empty());
    EXPECT_FALSE(EndsWith(view_.logLines.back(), WIDE("End: Create")));
    for (const std::string& call : view_.calls) {
        EXPECT_EQ(call.find("SetCaption(MainForm"), std::string::npos) << call;
        EXPECT_EQ(call.find("EXCP"), std::string::npos) << call; // swallowed silently
    }
}

// The nine modes and three orders of clicks: what the layout shows, where,
// and with which captions.
struct ModeRow {
    const char* name;
    std::vector<C> clicks;
    std::vector<C> buttons; // the batch buttons shown
    bool createUsers;       // password row and group panel shown
    const char* target;     // in the two box captions
    const char* tab;
    const char* profile;
};

class FormModeTest : public FormTest, public ::testing::WithParamInterface<ModeRow> {};

TEST_P(FormModeTest, ShowsTheControlsAndCaptionsOfTheMode) {
    const ModeRow& row = GetParam();
    Create();
    Clicks(row.clicks);
    const C batchButtons[] = {kCreateUsersButton,        kDeleteUsersButton,
                              kCreateLocalGroupsButton,  kDeleteLocalGroupsButton,
                              kCreateGlobalGroupsButton, kDeleteGlobalGroupsButton};
    std::vector<C> shown;
    for (const C button : batchButtons) {
        if (view_.State(button).visible) {
            shown.push_back(button);
        }
    }
    EXPECT_EQ(shown, row.buttons);
    for (const C control : {C::PasswordLabel, C::PasswordEdit, C::GroupPanel}) {
        EXPECT_EQ(view_.State(control).visible, row.createUsers)
            << TRecordingFormView::Name(control);
    }
    EXPECT_TRUE(view_.State(C::NameEdit).visible && view_.State(C::CountEdit).visible);
    const WideString target = support::WidenText(row.target);
    EXPECT_EQ(view_.State(C::NamePasswordBox).caption, target + WIDE(" (minimum 4 characters)"));
    EXPECT_EQ(view_.State(C::CountBox).caption,
              WIDE("Number of ") + target + WIDE(" (minimum 1, maximum 999)"));
    EXPECT_EQ(Utf8(view_.State(C::CreateDeletePage).caption), row.tab);
    ASSERT_TRUE(accounts::ProfileServiceComplete());
    const auto& profile = view_.State(C::ProfileCheck);
    EXPECT_TRUE(profile.visible);
    EXPECT_EQ(Utf8(profile.caption), row.profile);
    EXPECT_EQ(profile.enabled, std::string(row.profile) != "-");
    EXPECT_TRUE(profile.checked); // the tester's tick stays

    // Two slots: "Create Users"' place and 4 below it; the list at the second.
    for (const C first : {kDeleteUsersButton, kCreateLocalGroupsButton, kDeleteLocalGroupsButton}) {
        EXPECT_EQ(view_.State(first).bounds.left, 8);
        EXPECT_EQ(view_.State(first).bounds.top, 8);
    }
    for (const C second : {kCreateGlobalGroupsButton, kDeleteGlobalGroupsButton}) {
        EXPECT_EQ(view_.State(second).bounds.left, 8);
        EXPECT_EQ(view_.State(second).bounds.top, 37);
    }
    EXPECT_EQ(view_.State(C::GroupCheckList).bounds.top, 37);
    // Only Create + Users fills the group list.
    EXPECT_EQ(!view_.groups.empty(), row.createUsers);
}

const char kUsers[] = "Users";
const char kGroups[] = "Groups";
const char kBoth[] = "Users/Groups";

INSTANTIATE_TEST_SUITE_P(
    Modes, FormModeTest,
    ::testing::Values(
        ModeRow{"CreateUsers",
                {C::CreateRadio, C::UsersRadio},
                {kCreateUsersButton},
                true,
                kUsers,
                "Create Users",
                "Create Profile"},
        ModeRow{"CreateGroups",
                {C::CreateRadio, C::GroupsRadio},
                {kCreateLocalGroupsButton, kCreateGlobalGroupsButton},
                false,
                kGroups,
                "Create Groups",
                "-"},
        ModeRow{"CreateNone", {C::CreateRadio}, {}, false, kBoth, "Create", "-"},
        ModeRow{"DeleteUsers",
                {C::DeleteRadio, C::UsersRadio},
                {kDeleteUsersButton},
                false,
                kUsers,
                "Delete Users",
                "Delete Profile"},
        ModeRow{"DeleteGroups",
                {C::DeleteRadio, C::GroupsRadio},
                {kDeleteLocalGroupsButton, kDeleteGlobalGroupsButton},
                false,
                kGroups,
                "Delete Groups",
                "-"},
        ModeRow{"DeleteNone", {C::DeleteRadio}, {}, false, kBoth, "Delete", "-"},
        ModeRow{"NoneUsers", {C::UsersRadio}, {}, false, kUsers, "Create/Delete", "-"},
        ModeRow{"NoneGroups", {C::GroupsRadio}, {}, false, kGroups, "Create/Delete", "-"},
        ModeRow{"NoneNone", {}, {}, false, kBoth, "Create/Delete", "-"},
        // Choosing an action clears the target chosen before it.
        ModeRow{
            "UsersThenCreate", {C::UsersRadio, C::CreateRadio}, {}, false, kBoth, "Create", "-"},
        ModeRow{"CreateGroupsThenDelete",
                {C::CreateRadio, C::GroupsRadio, C::DeleteRadio},
                {},
                false,
                kBoth,
                "Delete",
                "-"},
        ModeRow{"DeleteUsersThenGroups",
                {C::DeleteRadio, C::UsersRadio, C::GroupsRadio},
                {kDeleteLocalGroupsButton, kDeleteGlobalGroupsButton},
                false,
                kGroups,
                "Delete Groups",
                "-"}),
    [](const ::testing::TestParamInfo<ModeRow>& row) { return std::string(row.param.name); });

TEST_F(FormTest, TheSlotsFollowTheFirstButtonWhereverTheViewPutIt) {
    view_.State(kCreateUsersButton).bounds = {20, 12, 150, 30};
    Create();
    Clicks({C::CreateRadio, C::GroupsRadio});
    EXPECT_EQ(view_.State(kCreateLocalGroupsButton).bounds.left, 20);
    EXPECT_EQ(view_.State(kCreateLocalGroupsButton).bounds.top, 12);
    EXPECT_EQ(view_.State(kCreateGlobalGroupsButton).bounds.left, 20);
    EXPECT_EQ(view_.State(kCreateGlobalGroupsButton).bounds.top, 12 + 30 + 4);
    // The list keeps its own left.
    EXPECT_EQ(view_.State(C::GroupCheckList).bounds.left, 8);
    EXPECT_EQ(view_.State(C::GroupCheckList).bounds.top, 46);
}

TEST_F(FormTest, WithoutTheProfileServiceTheProfileBoxIsNeverShownNorTicked) {
    accounts::ReleaseProfileService();
    accounts::BindProfileService("no-such-userenv.dll");
    ASSERT_FALSE(accounts::ProfileServiceComplete());
    Create();
    for (const auto& clicks : std::vector<std::vector<C>>{
             {}, {C::CreateRadio, C::UsersRadio}, {C::DeleteRadio, C::UsersRadio}}) {
        Clicks(clicks);
        const auto& profile = view_.State(C::ProfileCheck);
        EXPECT_FALSE(profile.visible || profile.checked || profile.enabled);
        EXPECT_EQ(profile.caption, WIDE("-"));
    }
}

TEST_F(FormTest, LayoutRunsOnlyOnTheCreateDeletePageAndNeverInsideItself) {
    Create();
    view_.activePage = C::LoggingPage;
    std::size_t before = view_.calls.size();
    form_->UpdatePanelLayout();
    EXPECT_EQ(Calls(before), std::vector<std::string>{"ActivePage()"});

    // A call from inside the layout (a control's own event) returns at once.
    view_.activePage = C::CreateDeletePage;
    std::vector<std::string> nested;
    view_.onCall = [&](const std::string& call) {
        if (call.starts_with("SetVisible(PasswordLabel")) {
            const std::size_t at = view_.calls.size();
            form_->UpdatePanelLayout();
            nested = Calls(at);
        }
    };
    before = view_.calls.size();
    form_->UpdatePanelLayout();
    EXPECT_TRUE(nested.empty());
    EXPECT_TRUE(
        InOrder(Calls(before), {"SetVisible(PasswordLabel", "SetCaption(CreateDeletePage"}));
}

TEST_F(FormTest, CountKeyRuleAndReadCount) {
    for (const WCHAR passes : {WIDE('0'), WIDE('5'), WIDE('9'), WCHAR(8), WCHAR(22), WCHAR(31)}) {
        EXPECT_TRUE(TForm::CountKeyPasses(passes)) << int(passes);
    }
    for (const WCHAR dropped : {WIDE('a'), WIDE(' '), WIDE('-'), WIDE('+'), WIDE('/'), WIDE(':'),
                                WCHAR(0x7f), WCHAR(0x0660), WCHAR(0xff10), WCHAR(0x20ac)}) {
        EXPECT_FALSE(TForm::CountKeyPasses(dropped)) << int(dropped);
    }
    Create();
    const std::pair<const WCHAR*, std::int32_t> counts[] = {
        {WIDE(""), 0}, {WIDE("12"), 12}, {WIDE("007"), 7}, {WIDE("3x"), 0}, {WIDE("-5"), -5}};
    for (const auto& [text, count] : counts) {
        view_.State(C::CountEdit).text = text;
        EXPECT_EQ(form_->ReadCount(), count) << Utf8(text);
    }
}

TEST_F(FormTest, FillsTheGroupListInServiceOrderAndTicksTheBuiltInGroups) {
    // A group named like the built-in Users group but in other letters.
    const std::string group = environment_.Root() / "etc/group";
    const std::string gshadow = environment_.Root() / "etc/gshadow";
    test::WriteTextFile(group, test::ReadTextFile(group) + "USERS:x:1001:\n");
    test::WriteTextFile(gshadow, test::ReadTextFile(gshadow) + "USERS:!::\n");
    Create();
    Clicks({C::DeleteRadio, C::UsersRadio, C::CreateRadio, C::GroupsRadio});
    EXPECT_TRUE(view_.groups.empty());

    const auto entries = [this] {
        std::vector<std::pair<std::string, bool>> shown;
        for (const auto& entry : view_.groups) {
            shown.emplace_back(Utf8(entry.name), entry.ticked);
        }
        return shown;
    };
    const std::vector<std::pair<std::string, bool>> filled = {{"root", false},    {"sudo", false},
                                                              {"users", true},    {"tsusers", true},
                                                              {"nogroup", false}, {"USERS", false}};
    Clicks({C::CreateRadio, C::UsersRadio});
    EXPECT_EQ(entries(), filled);
    ASSERT_GE(view_.logLines.size(), 2u);
    EXPECT_TRUE(EndsWith(view_.logLines.back(), WIDE("|I|.End: Fill Groups: 6")));
    EXPECT_TRUE(EndsWith(view_.logLines.end()[-2], WIDE("|I|Begin: Fill Groups")));
    EXPECT_EQ(form_->GroupCount(), 6u);
    EXPECT_EQ(form_->GroupName(2), WIDE("users"));
    EXPECT_TRUE(form_->GroupChecked(3) && !form_->GroupChecked(0) && !form_->GroupChecked(6));
    EXPECT_EQ(form_->GroupName(6), WIDE(""));

    // A filled list is not refilled by the layout: the tester's ticks stay.
    view_.groups[0].ticked = true;
    view_.groups[2].ticked = false;
    const std::size_t lines = view_.logLines.size();
    Clicks({C::CreateRadio, C::UsersRadio});
    EXPECT_EQ(view_.logLines.size(), lines);
    EXPECT_TRUE(view_.groups[0].ticked && !view_.groups[2].ticked);

    // Refresh: the emptied list is shown, 100 ms pass, then the refill.
    std::size_t entriesAtMessages = 99;
    std::chrono::steady_clock::time_point messagesAt;
    view_.onCall = [&](const std::string& call) {
        if (call == "ProcessMessages()") {
            entriesAtMessages = view_.groups.size();
            messagesAt = std::chrono::steady_clock::now();
        }
    };
    form_->RefreshClicked();
    const auto pause = std::chrono::steady_clock::now() - messagesAt;
    EXPECT_EQ(entriesAtMessages, 0u);
    EXPECT_GE(pause, std::chrono::milliseconds(100));
    EXPECT_EQ(entries(), filled);
    EXPECT_EQ(view_.logLines.size(), lines + 2);
}

// Without a group for a built-in SID (no tsusers on a stock machine), one
// warning line says so and how to make the group, in every Fill Groups.
TEST_F(FormTest, AnEmptyEnumerationLeavesTheListEmptyAndIsRetriedByEveryLayout) {
    test::WriteTextFile(environment_.Root() / "etc/group", "");
    Create();
    Clicks({C::CreateRadio, C::UsersRadio});
    EXPECT_TRUE(view_.groups.empty());
    ASSERT_GE(view_.logLines.size(), 3u);
    EXPECT_TRUE(EndsWith(view_.logLines.end()[-3],
                         WIDE("|W|.Built-in group Remote Desktop Users (tsusers) not found: create "
                              "it with groupadd tsusers to have new users join it")));
    EXPECT_TRUE(EndsWith(view_.logLines.end()[-2],
                         WIDE("|W|.Built-in group Users (users) not found: create it with "
                              "groupadd users to have new users join it")));
    EXPECT_TRUE(EndsWith(view_.logLines.back(), WIDE("End: Fill Groups: 0")));
    EXPECT_EQ(view_.activePage, C::CreateDeletePage); // no error line
    const std::size_t lines = view_.logLines.size();
    view_.ClickRadio(C::UsersRadio);
    EXPECT_EQ(view_.logLines.size(), lines + 4);
}

TEST_F(FormTest, AUserPageChangeCleansTheEntriesAndLaysOutOnTheCreateDeletePage) {
    Create();
    Clicks({C::CreateRadio, C::UsersRadio});
    struct Row {
        const WCHAR* name;
        const WCHAR* password;
        const WCHAR* cleanName;
        const WCHAR* cleanPassword;
    };
    const Row rows[] = {
        {WIDE(" test "), WIDE("   "), WIDE("test"), WIDE("")},
        {WIDE("a\tb c\u0001"), WIDE("pw"), WIDE("ab c"), WIDE("pw")},
        {WIDE("\u0001\u00e9t\u00e9 "), WIDE(" p w "), WIDE("\u00e9t\u00e9"), WIDE("p w")},
        {WIDE("same"), WIDE("same"), WIDE("same"), WIDE("same")}};
    for (const Row& row : rows) {
        view_.State(C::NameEdit).text = row.name;
        view_.State(C::PasswordEdit).text = row.password;
        // A page changed by the program (an error line) cleans nothing.
        form_->LogError(WIDE("some failure"));
        EXPECT_EQ(view_.activePage, C::LoggingPage);
        EXPECT_EQ(form_->NameText(), row.name);

        std::size_t before = view_.calls.size();
        view_.ChoosePage(C::CreateDeletePage);
        EXPECT_EQ(view_.State(C::NameEdit).text, row.cleanName);
        EXPECT_EQ(view_.State(C::PasswordEdit).text, row.cleanPassword);
        std::size_t sets = 0;
        for (const std::string& call : Calls(before)) {
            sets += call.starts_with("SetEntryText(") ? 1 : 0;
        }
        EXPECT_EQ(sets, (WideString(row.name) != row.cleanName ? 1u : 0u) +
                            (WideString(row.password) != row.cleanPassword ? 1u : 0u));
        // The layout ran again and kept the mode.
        EXPECT_TRUE(InOrder(Calls(before), {"SetCaption(CreateDeletePage, Create Users)"}));

        view_.State(C::NameEdit).text = row.name;
        before = view_.calls.size();
        view_.ChoosePage(C::ExitCodePage);
        EXPECT_EQ(view_.State(C::NameEdit).text, row.cleanName);
        for (const std::string& call : Calls(before)) {
            EXPECT_FALSE(call.starts_with("SetCaption(")) << call;
        }
    }
}

struct LevelRow {
    void (TForm::*log)(const WideString&);
    const char* tag;
    bool showsLoggingPage;
};

TEST_F(FormTest, EachLevelShowsItsLineAndOnlyErrorsBringTheLoggingPage) {
    const LevelRow rows[] = {{&TForm::LogInfo, "|I|", false},
                             {&TForm::LogWarning, "|W|", false},
                             {&TForm::LogError, "|E|", true}};
    Create();
    ASSERT_TRUE(WriterActive());
    for (const LevelRow& row : rows) {
        for (const C page : {C::ExitCodePage, C::ControlPanelPage}) {
            view_.activePage = page;
            (form_.get()->*row.log)(WIDE("a line"));
            EXPECT_EQ(Utf8(view_.logLines.back()).substr(23), std::string(row.tag) + "a line");
            EXPECT_EQ(view_.activePage, row.showsLoggingPage ? C::LoggingPage : page);
        }
    }
    // The same message twice: two lines. An empty message: an empty line.
    const std::size_t lines = view_.logLines.size();
    form_->LogInfo(WIDE("twice"));
    form_->LogInfo(WIDE("twice"));
    form_->LogInfo(WIDE(""));
    ASSERT_EQ(view_.logLines.size(), lines + 3);
    EXPECT_TRUE(EndsWith(view_.logLines[lines], WIDE("|I|twice")));
    EXPECT_TRUE(EndsWith(view_.logLines[lines + 1], WIDE("|I|twice")));
    EXPECT_EQ(view_.logLines[lines + 2], WIDE(""));
    // The writer cuts a long message to 220 characters.
    form_->LogInfo(WideString(200, WIDE('a')) + WideString(100, WIDE('b')));
    EXPECT_TRUE(EndsWith(view_.logLines.back(),
                         WIDE("|I|") + WideString(200, WIDE('a')) + WideString(20, WIDE('b'))));
}

TEST_F(FormTest, WithTheLogFileRefusedTheLinesAreShownBare) {
    if (!accounts::IsAdministrator()) {
        GTEST_SKIP() << "the administrator's log file needs root";
    }
    // A folder in the file's place: the writer exists but is inactive, and the
    // second name is not tried.
    ASSERT_EQ(mkdir(AdminLogPath().c_str(), 0700), 0);
    Create();
    ASSERT_NE(form_->LogWriter(), nullptr);
    EXPECT_FALSE(form_->LogWriter()->IsActive());
    ASSERT_EQ(view_.logLines.size(), 5u);
    EXPECT_EQ(view_.logLines[0], WIDE("Begin: Create"));
    EXPECT_EQ(view_.logLines[3], WIDE("Log file not written [") +
                                     support::WidenText(AdminLogPath()) +
                                     WIDE("]: it is not a regular file"));
    EXPECT_EQ(view_.logLines[4], WIDE("End: Create"));
    // The error line took the Logging page; the window still opens on Create/Delete.
    EXPECT_TRUE(
        InOrder(view_.calls, {"SetActivePage(LoggingPage)", "SetActivePage(CreateDeletePage)"}));
    EXPECT_EQ(view_.activePage, C::CreateDeletePage);
    EXPECT_FALSE(Exists(environment_.StateFolder() + "/kelNonAdminRostery.utf8.log"));
    const WideString longText(300, WIDE('x'));
    form_->LogWarning(longText);
    EXPECT_EQ(view_.logLines.back(), longText);
}

class FormExitCodeTest : public FormTest, public ::testing::WithParamInterface<int> {};

TEST_P(FormExitCodeTest, SetsTheCodeLogsItAndClosesTheWindow) {
    const int code = GetParam();
    Create();
    ChosenExitCode = 7;
    const std::size_t before = view_.calls.size();
    form_->ExitCodeClicked(code);
    EXPECT_EQ(ChosenExitCode, code);
    const std::string line = "|I|ExitCode: " + std::to_string(code) + ")";
    EXPECT_TRUE(
        InOrder(Calls(before), {line, "Close()", "QuitMessageLoop()", "QuitMessageLoop()"}));
    EXPECT_TRUE(form_->ClosingRequested());
    EXPECT_TRUE(EndsWith(view_.logLines.back(),
                         WIDE("ExitCode: ") + support::WidenText(std::to_string(code))));
}

INSTANTIATE_TEST_SUITE_P(Codes, FormExitCodeTest, ::testing::Values(0, 1, 2));

TEST_F(FormTest, CloseRemovesTheShortcutFolderOnlyWhenEmptyAndSaysNothing) {
    const std::string wcpl = environment_.TempFolderPath() + "/wcpl";
    const std::string sub = wcpl + "/Control Panel .{ED7BA470-8E54-465E-825C-99712043E01C}";
    for (const bool withFile : {false, true}) {
        form_.reset();
        Create();
        ASSERT_EQ(mkdir(wcpl.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
        if (withFile) {
            test::WriteTextFile(sub + "/keep.txt", "kept");
        }
        const std::size_t lines = view_.logLines.size();
        EXPECT_FALSE(form_->ClosingRequested());
        form_->CloseHandler();
        EXPECT_TRUE(form_->ClosingRequested());
        EXPECT_EQ(view_.calls.back(), "QuitMessageLoop()");
        EXPECT_EQ(Exists(wcpl), withFile);
        EXPECT_EQ(view_.logLines.size(), lines);
    }
}

TEST_F(FormTest, DestroyEndsTheLogFileOnceAndForAll) {
    if (!accounts::IsAdministrator()) {
        GTEST_SKIP() << "the administrator's log file needs root";
    }
    Create();
    form_->LogInfo(WIDE("last line of the window"));
    form_->DestroyHandler();
    EXPECT_EQ(form_->LogWriter(), nullptr);
    const auto lines = test::LogFileLines(AdminLogPath());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines.back().ends_with(" Log stopped"));
    EXPECT_TRUE(test::HasLineEndingWith(lines, "|I|last line of the window"));
    // Later lines reach the list only; a second destroy does nothing.
    form_->LogInfo(WIDE("after the end"));
    EXPECT_EQ(view_.logLines.back(), WIDE("after the end"));
    form_->DestroyHandler();
    EXPECT_EQ(test::LogFileLines(AdminLogPath()), lines);
}

TEST_F(FormTest, EachBatchButtonRunsItsBatchWithTheFormAsHost) {
    const std::pair<C, const char*> buttons[] = {
        {kCreateUsersButton, "Create Users"},
        {kDeleteUsersButton, "Delete Users"},
        {kCreateLocalGroupsButton, "Create Local Groups"},
        {kDeleteLocalGroupsButton, "Delete Local Groups"},
        {kCreateGlobalGroupsButton, "Create Global Groups"},
        {kDeleteGlobalGroupsButton, "Delete Global Groups"}};
    Create();
    const std::string accounts = environment_.Root().AccountFiles();
    for (const auto& [button, caption] : buttons) {
        view_.activePage = C::CreateDeletePage;
        const std::size_t before = view_.calls.size();
        view_.State(C::CountEdit).text = WIDE("1000"); // refused: nothing changes
        form_->BatchClicked(button);
        EXPECT_TRUE(InOrder(Calls(before),
                            {std::string("|I|Begin: ") + caption + ")", "EntryText(CountEdit)",
                             "|E|.", std::string("|I|.End: ") + caption + ")"}))
            << caption;
        EXPECT_TRUE(EndsWith(view_.logLines.end()[-2], WIDE(": 1000"))) << caption;
        EXPECT_EQ(view_.activePage, C::LoggingPage);
    }
    EXPECT_EQ(environment_.Root().AccountFiles(), accounts);
}

TEST_F(FormTest, AnExceptionEscapingAHandlerIsLoggedAndTheFormGoesOn) {
    Create();
    view_.onCall = [](const std::string& call) {
        if (call.starts_with("SetVisible(PasswordLabel")) {
            throw std::runtime_error("view failed on purpose");
        }
    };
    view_.ClickRadio(C::DeleteRadio);
    EXPECT_TRUE(EndsWith(view_.logLines.back(), WIDE("|E|EXCP: view failed on purpose")));
    EXPECT_EQ(view_.activePage, C::LoggingPage);
    // The layout guard was let go: the next layout runs whole.
    view_.onCall = nullptr;
    view_.activePage = C::CreateDeletePage;
    view_.ClickRadio(C::UsersRadio);
    EXPECT_EQ(view_.State(C::CreateDeletePage).caption, WIDE("Delete Users"));
}

} // namespace
} // namespace nomvera::form
