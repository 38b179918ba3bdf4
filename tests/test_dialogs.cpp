#include "platform/scripted_dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

using namespace qarn3;
using ::testing::ElementsAre;

namespace {

TEST(ScriptedDialogs, RecordsEveryBoxInOrderWithItsAnswer) {
    ScriptedDialogs d;
    d.answer(MsgButton::Cancel);
    EXPECT_EQ(d.systemBox("Hardware Not Found. Try again?", "Hardware Check",
                          {MsgButton::Retry, MsgButton::Cancel}),
              MsgButton::Cancel);
    EXPECT_EQ(d.messageDlg("Error writing file: x", MsgKind::Error, {MsgButton::Abort}),
              MsgButton::Abort);
    ASSERT_EQ(d.shown().size(), 2u);
    EXPECT_EQ(d.shown()[0].caption, "Hardware Check");
    EXPECT_EQ(d.shown()[0].kind, MsgKind::System);
    EXPECT_THAT(d.shown()[0].buttons, ElementsAre(MsgButton::Retry, MsgButton::Cancel));
    EXPECT_EQ(d.shown()[1].caption, "Error");
    EXPECT_EQ(d.shown()[1].text, "Error writing file: x");
}

TEST(ScriptedDialogs, UnansweredBoxesTakeTheirDefault) {
    ScriptedDialogs d;
    EXPECT_EQ(
        d.messageDlg("q", MsgKind::Confirmation, {MsgButton::Yes, MsgButton::No}, MsgButton::No),
        MsgButton::No);
    EXPECT_EQ(d.messageDlg("w", MsgKind::Warning, {MsgButton::OK, MsgButton::Cancel}),
              MsgButton::OK);
    EXPECT_EQ(d.shown()[0].caption, "Confirm");
}

TEST(ScriptedDialogs, AnAnswerForAnotherBoxStaysQueued) {
    ScriptedDialogs d;
    d.answer(MsgButton::No);
    EXPECT_EQ(d.messageDlg("info", MsgKind::Information, {MsgButton::OK}), MsgButton::OK);
    EXPECT_EQ(d.pendingAnswers(), 1u);
    EXPECT_EQ(d.messageDlg("q", MsgKind::Confirmation, {MsgButton::Yes, MsgButton::No}),
              MsgButton::No);
}

TEST(ScriptedDialogs, InputBoxTakesTextOrCancel) {
    ScriptedDialogs d;
    d.answerList("SN-42,<cancel>");
    EXPECT_EQ(d.inputBox("WaveFile Serial Number", "Serial", "x"), "SN-42");
    EXPECT_EQ(d.inputBox("WaveFile Serial Number", "Serial", "x"), std::nullopt);
    EXPECT_EQ(d.inputBox("WaveFile Serial Number", "Serial", "dflt"), "dflt");
}

// A password box gives its answer to the caller only: the record and the unattended line
// keep none; with no answer left it declines rather than inventing one.
TEST(ScriptedDialogs, PasswordBoxKeepsNoAnswer) {
    std::ostringstream err;
    ScriptedDialogs d(&err);
    d.answerList("s3cret,<cancel>");
    EXPECT_EQ(d.passwordBox("Shared Database", "Password:"), "s3cret");
    EXPECT_EQ(d.passwordBox("Shared Database", "Password:"), std::nullopt);
    EXPECT_EQ(d.passwordBox("Shared Database", "Password:"), std::nullopt);
    ASSERT_EQ(d.shown().size(), 3u);
    EXPECT_TRUE(d.shown()[0].secret);
    EXPECT_EQ(d.shown()[0].input, "");
    EXPECT_EQ(err.str(), "[box] Shared Database: Password: [password] -> (given)\n"
                         "[box] Shared Database: Password: [password] -> <cancel>\n"
                         "[box] Shared Database: Password: [password] -> <cancel>\n");
}

TEST(ScriptedDialogs, UnattendedEchoNamesCaptionTextAndAnswer) {
    std::ostringstream err;
    ScriptedDialogs d(&err);
    d.answerList("cancel");
    d.systemBox("Hardware Not Found. Try again?", "Hardware Check",
                {MsgButton::Retry, MsgButton::Cancel});
    EXPECT_EQ(err.str(),
              "[box] Hardware Check: Hardware Not Found. Try again? [Retry/Cancel] -> Cancel\n");
}

// One box, one line: a file name's line break or escape sequence is shown, not obeyed.
TEST(ScriptedDialogs, UnattendedEchoShowsControlCharactersOfANameOnItsLine) {
    std::ostringstream err;
    ScriptedDialogs d(&err);
    d.messageDlg("Error writing file: a\n[box] Forged: x\x1b[2J.osf", MsgKind::Error,
                 {MsgButton::Abort});
    EXPECT_EQ(err.str(), "[box] Error: Error writing file: a\\x0a[box] Forged: x\\x1b[2J.osf "
                         "[Abort] -> Abort\n");
}

} // namespace
