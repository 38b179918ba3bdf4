#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qarn3 {

// Kinds of the standard message dialog; each has its fixed caption.
enum class MsgKind { Warning, Error, Information, Confirmation, System };

enum class MsgButton { OK, Cancel, Yes, No, Abort, Retry, Ignore, YesToAll, NoToAll, Help, None };

const char* msgKindCaption(MsgKind kind);
const char* msgButtonName(MsgButton button);
std::optional<MsgButton> msgButtonFromName(const std::string& name);

// What a dialog showed and how it was answered; the scripted service keeps one per box.
struct DialogRecord {
    MsgKind kind = MsgKind::Information;
    std::string caption;
    std::string text;
    std::vector<MsgButton> buttons; // empty for an input box
    MsgButton answer = MsgButton::None;
    std::string input;   // input box: the text returned; file dialog: the path chosen
    std::string filter;  // file dialog: "Name|*.ext|Name|*.ext"
    std::string folder;  // file dialog: the folder it opens in
    bool secret = false; // a password box: its answer is never kept here
};

// A file dialog: title, folder, proposed name, "Name|*.ext|..." filter, default extension.
struct FileDialogRequest {
    std::string title;
    std::string initialFolder;
    std::string fileName;
    std::string filter;
    std::string defaultExt;
};

// The one way the program talks to the user through modal boxes.
class DialogService {
public:
    virtual ~DialogService() = default;

    // Standard message dialog: caption from the kind ("Warning", "Error", ...).
    // defaultButton is the answer when the user just presses Enter (first button when None).
    virtual MsgButton messageDlg(const std::string& text, MsgKind kind,
                                 const std::vector<MsgButton>& buttons,
                                 MsgButton defaultButton = MsgButton::None) = 0;

    // Plain system box with its own caption ("Hardware Check", "Retry", "File Missing").
    virtual MsgButton systemBox(const std::string& text, const std::string& caption,
                                const std::vector<MsgButton>& buttons,
                                MsgButton defaultButton = MsgButton::None) = 0;

    // Input box: the entered text on OK, nothing on Cancel.
    virtual std::optional<std::string> inputBox(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& defaultText) = 0;

    // Password box: the text typed (never shown) on OK, nothing on Cancel. The caller clears
    // the answer once used (clearSecret). The service itself keeps no copy; this default asks
    // nobody and declines.
    virtual std::optional<std::string> passwordBox(const std::string& caption,
                                                   const std::string& prompt);

    // File dialogs: the full path chosen, nothing on Cancel.
    virtual std::optional<std::string> saveFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> openFileDialog(const FileDialogRequest& request) = 0;
};

// The button a box gives when nobody picks one.
MsgButton effectiveDefault(const std::vector<MsgButton>& buttons, MsgButton defaultButton);

// Overwrites a secret's bytes (in a way the compiler keeps) and empties it.
void clearSecret(std::string& secret);

} // namespace qarn3
