#pragma once

#include "platform/dialogs.h"

#include <deque>
#include <ostream>

namespace qarn3 {

// Answers boxes from a script instead of a user: the tests' dialog service and the
// unattended mode of the program. Every box shown is recorded in order.
class ScriptedDialogs : public DialogService {
public:
    // echo, when given, receives one readable line per box (the unattended mode's stderr).
    explicit ScriptedDialogs(std::ostream* echo = nullptr) : m_echo(echo) {}

    // Queue answers: a button name ("OK", "Cancel", ...) for a message box, or any text for
    // an input box ("<cancel>" cancels it). Unanswered boxes take their default.
    void answer(const std::string& reply) { m_answers.push_back(reply); }
    void answer(MsgButton button) { m_answers.emplace_back(msgButtonName(button)); }
    // Parses a comma-separated list of answers (the unattended mode's variable).
    void answerList(const std::string& commaSeparated);

    const std::vector<DialogRecord>& shown() const { return m_shown; }
    std::size_t pendingAnswers() const { return m_answers.size(); }
    void clear() { m_shown.clear(); }

    MsgButton messageDlg(const std::string& text, MsgKind kind,
                         const std::vector<MsgButton>& buttons,
                         MsgButton defaultButton = MsgButton::None) override;
    MsgButton systemBox(const std::string& text, const std::string& caption,
                        const std::vector<MsgButton>& buttons,
                        MsgButton defaultButton = MsgButton::None) override;
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& defaultText) override;
    // A queued answer is the password ("<cancel>" declines); with none it declines. The
    // record keeps no answer, and the echo line shows none.
    std::optional<std::string> passwordBox(const std::string& caption,
                                           const std::string& prompt) override;
    // A queued answer is the path chosen ("<cancel>" cancels); with none the proposed name in
    // the initial folder is taken.
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> openFileDialog(const FileDialogRequest& request) override;

private:
    std::optional<std::string> fileDialog(const FileDialogRequest& request);
    std::optional<std::string> textAnswer(DialogRecord record);
    MsgButton box(DialogRecord record, MsgButton defaultButton);
    void echo(const DialogRecord& record);

    std::ostream* m_echo;
    std::deque<std::string> m_answers;
    std::vector<DialogRecord> m_shown;
};

} // namespace qarn3
