// The capture-kind question dialog.
#include "capture/view/question_dialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyle>

#include "capture/view/window_look.h"

namespace q47::capture {

TfrmMsg::TfrmMsg(const AppSettings& s)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint) {
    setObjectName("frmMsg");
    setModal(true);
    setWindowTitle(QString::fromStdString(s.FrameGetImage));
    setFont(SettingsFont(s));
    setFixedSize(232, 82);
    Label1 = new QLabel(QString::fromStdString(s.LabelProjectorUse), this);
    Label1->setObjectName("Label1");
    // Two lines at most: translations are longer than the original text.
    Label1->setGeometry(8, 4, 216, 36);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignCenter);
    Button1 = new QPushButton(QString::fromStdString(s.ButtonYes), this);
    Button1->setObjectName("Button1");
    Button1->setToolTip(QString::fromStdString(s.HintYes));
    Button1->setGeometry(24, 44, 84, 28);
    Button2 = new QPushButton(QString::fromStdString(s.ButtonNo), this);
    Button2->setObjectName("Button2");
    Button2->setToolTip(QString::fromStdString(s.HintNo));
    Button2->setGeometry(124, 44, 84, 28);
    connect(Button1, &QPushButton::clicked, this, [this] {
        answerPending = false;
        done(QMessageBox::Yes);
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        answerPending = false;
        done(QMessageBox::No);
    });
}

void TfrmMsg::showEvent(QShowEvent* e) {
    answerPending = true;
    // The hints say what each answer does; they must come up at once.
    SetHintDelay(100);
    CentreOnScreen(*this);
    if (raiseOrder) raiseOrder();
    QDialog::showEvent(e);
}

void TfrmMsg::hideEvent(QHideEvent* e) {
    SetHintDelay(500);
    QDialog::hideEvent(e);
}

}  // namespace q47::capture
