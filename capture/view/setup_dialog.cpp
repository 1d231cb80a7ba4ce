// The setup dialog.
#include "capture/view/setup_dialog.h"

#include <QGuiApplication>
#include <QScreen>

#include "capture/monitor_names.h"
#include "capture/view/window_look.h"

namespace q47::capture {

TfrmSetUp::TfrmSetUp(AppSettings& s, std::filesystem::path settingsFile)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint),
      settings_(s),
      file_(std::move(settingsFile)) {
    setObjectName("frmSetUp");
    setModal(true);
    setWindowTitle(QString::fromStdString(s.FrameSetUp));
    setFont(SettingsFont(s));
    setFixedSize(474, 275);
    GroupBox1 = new QGroupBox(QString::fromStdString(s.GroupMonitorSelecct), this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(16, 12, 442, 84);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setGeometry(24, 36, 394, 28);
    GroupBox2 = new QGroupBox(QString::fromStdString(s.GroupPosColorSelect), this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(16, 108, 442, 84);
    ComboBox2 = new QComboBox(GroupBox2);
    ComboBox2->setObjectName("ComboBox2");
    ComboBox2->setGeometry(24, 36, 394, 28);
    for (const std::string& c : s.ComboColor) ComboBox2->addItem(QString::fromStdString(c));
    Button1 = new QPushButton(QString::fromStdString(s.ButtonOK), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(232, 222, 108, 34);
    Button2 = new QPushButton(QString::fromStdString(s.ButtonCancel), this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(350, 222, 108, 34);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { reject(); });
}

void TfrmSetUp::RefillMonitors() {
    ComboBox1->clear();
    const int count = static_cast<int>(QGuiApplication::screens().size());
    for (int i = 0; i < count; ++i) {
        const int entry = ComboDisplayIndex(MonitorDeviceName(i));
        if (entry >= 0) ComboBox1->addItem(QString::fromStdString(settings_.ComboDisplay[entry]));
    }
    ComboBox1->setCurrentIndex(settings_.SelectMonitor < ComboBox1->count() ? settings_.SelectMonitor : -1);
}

void TfrmSetUp::showEvent(QShowEvent* e) {
    ComboBox1->setCurrentIndex(settings_.SelectMonitor < ComboBox1->count() ? settings_.SelectMonitor : -1);
    ComboBox2->setCurrentIndex(settings_.SelectMark >= 0 && settings_.SelectMark < 5 ? settings_.SelectMark : -1);
    CentreOnScreen(*this);
    if (raiseOrder) raiseOrder();
    QDialog::showEvent(e);
}

void TfrmSetUp::Button1Click() {
    // An empty list (no monitor entry) keeps the monitor as it is.
    if (ComboBox1->currentIndex() >= 0) settings_.SelectMonitor = ComboBox1->currentIndex();
    if (ComboBox2->currentIndex() >= 0) settings_.SelectMark = ComboBox2->currentIndex();
    WriteSelections(settings_, file_);  // a failed write is silent, as before
    if (onChosen) onChosen();
    accept();
}

}  // namespace q47::capture
