// The setup dialog (TfrmSetUp): projector monitor and mark colour.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <filesystem>
#include <functional>

#include "capture/settings.h"

namespace q47::capture {

class TfrmSetUp : public QDialog {
public:
    TfrmSetUp(AppSettings& settings, std::filesystem::path settingsFile);

    // ComboBox1 := one entry per screen by the digit of its device name; SelectMonitor selected.
    void RefillMonitors();

    // Run after OK has stored the choice (the bar shows the rings in the new colour).
    std::function<void()> onChosen;
    std::function<void()> raiseOrder;

    QGroupBox* GroupBox1;
    QComboBox* ComboBox1;
    QGroupBox* GroupBox2;
    QComboBox* ComboBox2;
    QPushButton* Button1;  // OK
    QPushButton* Button2;  // Cancel

protected:
    void showEvent(QShowEvent*) override;

private:
    void Button1Click();
    AppSettings& settings_;
    std::filesystem::path file_;
};

}  // namespace q47::capture
