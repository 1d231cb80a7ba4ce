// The capture-kind question (TfrmMsg): Yes lays the projected picture under the sheet,
// No takes the sheet alone; the close box answers nothing.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <functional>

#include "capture/settings.h"

namespace q47::capture {

class TfrmMsg : public QDialog {
public:
    explicit TfrmMsg(const AppSettings& settings);

    // Set while the dialog is up and no button was pressed.
    bool answerPending = false;
    // Raises the bar, this dialog and the rings in the order the bar keeps (set by the bar).
    std::function<void()> raiseOrder;

    QLabel* Label1;
    QPushButton* Button1;  // Yes
    QPushButton* Button2;  // No

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
};

}  // namespace q47::capture
