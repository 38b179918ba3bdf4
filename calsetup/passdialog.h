#pragma once

#include "calsetup/calform.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qarn3 {

// The password dialog in front of the calibration window: asks for the access code, as
// often as the operator tries.
class TfmPass : public QDialog, public PasswordPrompt {
    Q_OBJECT
public:
    explicit TfmPass(DialogService& dialogs, QWidget* parent = nullptr);

    bool execute(const std::string& calDateText) override;
    // Shows "Calibration Date: " + the text.
    void setCalDateText(const std::string& calDateText);

    QLabel* lbCalDate;
    QLineEdit* ebPassword;
    QPushButton* btOK;
    QPushButton* btCancel;

    // OK: ends the dialog on the access code, else says so and keeps it open.
    void btOKClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    DialogService& m_dialogs;
};

} // namespace qarn3
