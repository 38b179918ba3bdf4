#pragma once

#include "platform/dialogs.h"

class QWidget;

namespace qarn3 {

// The dialog service on Qt message boxes and input dialogs.
class QtDialogs : public DialogService {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    MsgButton messageDlg(const std::string& text, MsgKind kind,
                         const std::vector<MsgButton>& buttons,
                         MsgButton defaultButton = MsgButton::None) override;
    MsgButton systemBox(const std::string& text, const std::string& caption,
                        const std::vector<MsgButton>& buttons,
                        MsgButton defaultButton = MsgButton::None) override;
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& defaultText) override;
    // Typed characters show as '*'; the dialog's own copies are cleared before it goes.
    std::optional<std::string> passwordBox(const std::string& caption,
                                           const std::string& prompt) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> openFileDialog(const FileDialogRequest& request) override;

private:
    MsgButton show(MsgKind kind, const std::string& caption, const std::string& text,
                   const std::vector<MsgButton>& buttons, MsgButton defaultButton);
    QWidget* m_parent;
};

} // namespace qarn3
