#include "platform/dialogs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string.h>
#include <strings.h>
#ifdef _WIN32
#include <windows.h>
#endif

namespace qarn3 {

namespace {
struct ButtonName {
    MsgButton button;
    const char* name;
};
constexpr std::array<ButtonName, 10> kButtonNames{{
    {MsgButton::OK, "OK"},
    {MsgButton::Cancel, "Cancel"},
    {MsgButton::Yes, "Yes"},
    {MsgButton::No, "No"},
    {MsgButton::Abort, "Abort"},
    {MsgButton::Retry, "Retry"},
    {MsgButton::Ignore, "Ignore"},
    {MsgButton::YesToAll, "Yes to All"},
    {MsgButton::NoToAll, "No to All"},
    {MsgButton::Help, "Help"},
}};
} // namespace

const char* msgKindCaption(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return "Warning";
    case MsgKind::Error:
        return "Error";
    case MsgKind::Information:
        return "Information";
    case MsgKind::Confirmation:
        return "Confirm";
    case MsgKind::System:
        return "";
    }
    return "";
}

const char* msgButtonName(MsgButton button) {
    for (const auto& b : kButtonNames)
        if (b.button == button) return b.name;
    return "None";
}

std::optional<MsgButton> msgButtonFromName(const std::string& name) {
    for (const auto& b : kButtonNames)
        if (strcasecmp(b.name, name.c_str()) == 0) return b.button;
    return std::nullopt;
}

MsgButton effectiveDefault(const std::vector<MsgButton>& buttons, MsgButton defaultButton) {
    if (defaultButton != MsgButton::None &&
        std::find(buttons.begin(), buttons.end(), defaultButton) != buttons.end())
        return defaultButton;
    return buttons.empty() ? MsgButton::OK : buttons.front();
}

std::optional<std::string> DialogService::passwordBox(const std::string&, const std::string&) {
    return std::nullopt;
}

void clearSecret(std::string& secret) {
    // The whole buffer: a short string's bytes live in the object itself, a long one's in
    // its allocation, and either may hold more than size() bytes of an earlier value.
#ifdef _WIN32
    ::SecureZeroMemory(secret.data(), secret.capacity());
#else
    ::explicit_bzero(secret.data(), secret.capacity());
#endif
    secret.clear();
}

} // namespace qarn3
