#include "platform/qt_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace qarn3 {

namespace {
QMessageBox::StandardButton toQt(MsgButton b) {
    switch (b) {
    case MsgButton::OK:
        return QMessageBox::Ok;
    case MsgButton::Cancel:
        return QMessageBox::Cancel;
    case MsgButton::Yes:
        return QMessageBox::Yes;
    case MsgButton::No:
        return QMessageBox::No;
    case MsgButton::Abort:
        return QMessageBox::Abort;
    case MsgButton::Retry:
        return QMessageBox::Retry;
    case MsgButton::Ignore:
        return QMessageBox::Ignore;
    case MsgButton::YesToAll:
        return QMessageBox::YesToAll;
    case MsgButton::NoToAll:
        return QMessageBox::NoToAll;
    case MsgButton::Help:
        return QMessageBox::Help;
    case MsgButton::None:
        break;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon iconFor(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return QMessageBox::Warning;
    case MsgKind::Error:
        return QMessageBox::Critical;
    case MsgKind::Information:
        return QMessageBox::Information;
    case MsgKind::Confirmation:
        return QMessageBox::Question;
    case MsgKind::System:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

MsgButton QtDialogs::show(MsgKind kind, const std::string& caption, const std::string& text,
                          const std::vector<MsgButton>& buttons, MsgButton defaultButton) {
    // A carriage return alone ends a line of a message, as CR LF does; Qt's label would run the
    // two lines together.
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n").replace('\r', '\n');
    QMessageBox box(iconFor(kind), QString::fromStdString(caption), shown, QMessageBox::NoButton,
                    m_parent);
    for (MsgButton b : buttons)
        box.addButton(toQt(b));
    const MsgButton def = effectiveDefault(buttons, defaultButton);
    box.setDefaultButton(toQt(def));
    // Escape answers Cancel when the box has it, else the default.
    const bool hasCancel =
        std::find(buttons.begin(), buttons.end(), MsgButton::Cancel) != buttons.end();
    box.setEscapeButton(box.button(toQt(hasCancel ? MsgButton::Cancel : def)));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (MsgButton b : buttons)
        if (clicked && clicked == box.button(toQt(b))) return b;
    return hasCancel ? MsgButton::Cancel : def;
}

MsgButton QtDialogs::messageDlg(const std::string& text, MsgKind kind,
                                const std::vector<MsgButton>& buttons, MsgButton defaultButton) {
    return show(kind, msgKindCaption(kind), text, buttons, defaultButton);
}

MsgButton QtDialogs::systemBox(const std::string& text, const std::string& caption,
                               const std::vector<MsgButton>& buttons, MsgButton defaultButton) {
    return show(MsgKind::System, caption, text, buttons, defaultButton);
}

std::optional<std::string> QtDialogs::inputBox(const std::string& caption,
                                               const std::string& prompt,
                                               const std::string& defaultText) {
    bool ok = false;
    QString s = QInputDialog::getText(m_parent, QString::fromStdString(caption),
                                      QString::fromStdString(prompt), QLineEdit::Normal,
                                      QString::fromStdString(defaultText), &ok);
    if (!ok) return std::nullopt;
    return s.toStdString();
}

namespace {
void clearText(QString& s) {
    std::fill(s.begin(), s.end(), QChar(u'\0'));
    s.clear();
}
} // namespace

std::optional<std::string> QtDialogs::passwordBox(const std::string& caption,
                                                  const std::string& prompt) {
    QInputDialog dlg(m_parent);
    dlg.setWindowTitle(QString::fromStdString(caption));
    dlg.setLabelText(QString::fromStdString(prompt));
    dlg.setTextEchoMode(QLineEdit::Password);
    dlg.setInputMode(QInputDialog::TextInput);
    const bool ok = dlg.exec() == QDialog::Accepted;
    QString typed = dlg.textValue();
    // The line edit's text goes first, so that the string above is the only holder left and
    // is cleared in place rather than copied.
    dlg.setTextValue(QString());
    std::optional<std::string> password;
    if (ok) {
        QByteArray utf8 = typed.toUtf8();
        password.emplace(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        std::fill(utf8.begin(), utf8.end(), '\0');
    }
    clearText(typed);
    return password;
}

namespace {
// "Name|*.a|Other|*.b" as Qt writes it: "Name (*.a);;Other (*.b)".
QString qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return out.join(";;");
}

std::optional<std::string> runFileDialog(QWidget* parent, const FileDialogRequest& request,
                                         QFileDialog::AcceptMode mode) {
    QFileDialog dlg(parent, QString::fromStdString(request.title),
                    QString::fromStdString(request.initialFolder), qtFilter(request.filter));
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                    : QFileDialog::ExistingFile);
    QString ext = QString::fromStdString(request.defaultExt);
    while (ext.startsWith('*') || ext.startsWith('.'))
        ext.remove(0, 1);
    if (!ext.isEmpty()) dlg.setDefaultSuffix(ext);
    dlg.selectFile(QString::fromStdString(request.fileName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().front().toStdString();
}
} // namespace

std::optional<std::string> QtDialogs::saveFileDialog(const FileDialogRequest& request) {
    return runFileDialog(m_parent, request, QFileDialog::AcceptSave);
}

std::optional<std::string> QtDialogs::openFileDialog(const FileDialogRequest& request) {
    return runFileDialog(m_parent, request, QFileDialog::AcceptOpen);
}

} // namespace qarn3
