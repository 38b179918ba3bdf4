#include "platform/scripted_dialogs.h"

#include "platform/files.h"
#include "platform/textformat.h"

#include <algorithm>

namespace qarn3 {

void ScriptedDialogs::answerList(const std::string& commaSeparated) {
    std::size_t start = 0;
    while (start <= commaSeparated.size()) {
        std::size_t comma = commaSeparated.find(',', start);
        if (comma == std::string::npos) comma = commaSeparated.size();
        std::string item = commaSeparated.substr(start, comma - start);
        if (!item.empty()) m_answers.push_back(item);
        start = comma + 1;
    }
}

MsgButton ScriptedDialogs::messageDlg(const std::string& text, MsgKind kind,
                                      const std::vector<MsgButton>& buttons,
                                      MsgButton defaultButton) {
    DialogRecord r;
    r.kind = kind;
    r.caption = msgKindCaption(kind);
    r.text = text;
    r.buttons = buttons;
    return box(std::move(r), defaultButton);
}

MsgButton ScriptedDialogs::systemBox(const std::string& text, const std::string& caption,
                                     const std::vector<MsgButton>& buttons,
                                     MsgButton defaultButton) {
    DialogRecord r;
    r.kind = MsgKind::System;
    r.caption = caption;
    r.text = text;
    r.buttons = buttons;
    return box(std::move(r), defaultButton);
}

MsgButton ScriptedDialogs::box(DialogRecord record, MsgButton defaultButton) {
    record.answer = effectiveDefault(record.buttons, defaultButton);
    // Take the next scripted answer only if it names a button this box has; an answer meant
    // for a later box is left in place.
    if (!m_answers.empty()) {
        auto wanted = msgButtonFromName(m_answers.front());
        if (wanted && std::find(record.buttons.begin(), record.buttons.end(), *wanted) !=
                          record.buttons.end()) {
            record.answer = *wanted;
            m_answers.pop_front();
        }
    }
    echo(record);
    m_shown.push_back(record);
    return record.answer;
}

std::optional<std::string> ScriptedDialogs::inputBox(const std::string& caption,
                                                     const std::string& prompt,
                                                     const std::string& defaultText) {
    DialogRecord r;
    r.kind = MsgKind::System;
    r.caption = caption;
    r.text = prompt;
    r.answer = MsgButton::OK;
    r.input = defaultText;
    return textAnswer(std::move(r));
}

std::optional<std::string> ScriptedDialogs::textAnswer(DialogRecord r) {
    if (!m_answers.empty()) {
        if (m_answers.front() == "<cancel>") {
            r.answer = MsgButton::Cancel;
            r.input.clear();
        } else {
            r.input = m_answers.front();
        }
        m_answers.pop_front();
    }
    echo(r);
    m_shown.push_back(r);
    if (r.answer == MsgButton::Cancel) return std::nullopt;
    return r.input;
}

std::optional<std::string> ScriptedDialogs::passwordBox(const std::string& caption,
                                                        const std::string& prompt) {
    DialogRecord r;
    r.kind = MsgKind::System;
    r.caption = caption;
    r.text = prompt;
    r.secret = true;
    r.answer = MsgButton::Cancel;
    std::optional<std::string> password;
    if (!m_answers.empty()) {
        if (m_answers.front() != "<cancel>") {
            r.answer = MsgButton::OK;
            password = m_answers.front();
        }
        clearSecret(m_answers.front());
        m_answers.pop_front();
    }
    echo(r);
    m_shown.push_back(r);
    return password;
}

std::optional<std::string> ScriptedDialogs::saveFileDialog(const FileDialogRequest& request) {
    return fileDialog(request);
}

std::optional<std::string> ScriptedDialogs::openFileDialog(const FileDialogRequest& request) {
    return fileDialog(request);
}

std::optional<std::string> ScriptedDialogs::fileDialog(const FileDialogRequest& request) {
    DialogRecord r;
    r.kind = MsgKind::System;
    r.caption = request.title;
    r.text = request.fileName;
    r.filter = request.filter;
    r.folder = request.initialFolder;
    r.answer = MsgButton::OK;
    r.input = resolveInFolder(request.initialFolder, request.fileName);
    return textAnswer(std::move(r));
}

void ScriptedDialogs::echo(const DialogRecord& r) {
    if (!m_echo) return;
    // One line on a terminal: the control characters of a file name in a box are shown.
    *m_echo << "[box] " << escapeControls(r.caption.empty() ? "(no caption)" : r.caption) << ": "
            << escapeControls(r.text);
    if (r.secret) {
        *m_echo << " [password] -> " << (r.answer == MsgButton::Cancel ? "<cancel>" : "(given)");
    } else if (r.buttons.empty()) {
        *m_echo << " [input] -> "
                << (r.answer == MsgButton::Cancel ? std::string("<cancel>")
                                                  : escapeControls(r.input));
    } else {
        *m_echo << " [";
        for (std::size_t i = 0; i < r.buttons.size(); ++i)
            *m_echo << (i ? "/" : "") << msgButtonName(r.buttons[i]);
        *m_echo << "] -> " << msgButtonName(r.answer);
    }
    *m_echo << '\n';
    m_echo->flush();
}

} // namespace qarn3
