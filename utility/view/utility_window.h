// UtilityWindow: the maintenance utility's dialog, a Qt view of the UtilityDialog core.
//
// Controls sit at the dialog template's positions in dialog units of the dialog font
// (Mode_Font, Mode_Font_Size). The window starts half as wide as the template and 183
// pixels short of it, which hides the maintenance area; Alt+Shift+F8 shows and hides it.
#pragma once

#include <QDialog>
#include <filesystem>
#include <map>
#include <memory>

#include "twain_source/view/qt_platform.h"
#include "utility/utility_dialog.h"
#include "utility/view/dialog_units.h"

class QAbstractButton;
class QDateEdit;
class QFile;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimeEdit;

namespace q47::utility {

// Control IDs of the dialog template.
enum ControlId : int {
    IdUpdate = 1007,
    IdReset = 1008,
    IdOk = 1009,
    IdCancel = 1010,
    IdApply = 1011,
    IdFileName = 1003,
    IdFileSelect = 1027,
    IdFirmVersion = 1025,
    IdFirmVersionLabel = 1044,
    IdFirmNameLabel = 1026,
    IdMaintenance = 1024,
    IdFull = 1005,
    IdProgram = 1006,
    IdProgressFrame = 1055,
    IdProgress = 1052,
    IdProgressText = 1053,
    IdFrameTimeStamp = 1056,
    IdStampDisable = 1057,
    IdStampEnable = 1058,
    IdDate = 1071,
    IdTime = 1072,
    IdFrameMargin = 1062,
    IdMarginDisable = 1063,
    IdMarginEnable = 1064,
    IdFramePaper = 1068,
    IdA4 = 1069,
    IdLetter = 1070,
    IdFrameAspect = 1073,
    IdFramePrint = 1059,
    IdPrintOriginal = 1060,
    IdPrintMatch = 1061,
    IdFrameSave = 1065,
    IdSaveOriginal = 1066,
    IdSaveMatch = 1067,
};
constexpr int kMaintenanceHeight = 183;  // pixels the maintenance area adds
constexpr int kTemplateWidth = 517, kTemplateHeight = 338;

struct UtilityFiles {
    std::filesystem::path settingsFolder;  // Q47Uty.ini, Q47Uty.html, Q47_USB.Log, rawdata.bin
    std::string deviceSpec;
};

class UtilityWindow : public QDialog, public UtilityView {
    Q_OBJECT
  public:
    // texts: the language file as read at start (the dialog font comes from it).
    UtilityWindow(UtilityFiles files, const UtilityTexts& texts, QWidget* parent = nullptr);
    ~UtilityWindow() override;

    // Dialog initialisation: layout, texts, log file, then the core's start.
    void initialise();
    UtilityDialog& core() { return *core_; }
    QWidget* control(int id) const;
    template <class T>
    T* controlAs(int id) const {
        return qobject_cast<T*>(control(id));
    }
    bool maintenanceShown() const { return maintenance_; }
    void toggleMaintenance();
    // Language menu items 32771..32773.
    void switchLanguage(int menuId);
    QMenu* languageMenu() const { return languageMenu_; }
    void openHelp();
    void chooseFirmwareFile();
    // What confirming the open-file dialog does with the chosen path: the box gets the
    // bare name and the process moves into the file's folder.
    void takeChosenFirmwareFile(const std::filesystem::path& chosen);
    const DialogUnits& units() const { return du_; }
    // The test image window is shown modally unless this says otherwise (tests).
    std::function<void(TestImage&)> testImageShower;
    twain_source::QtNotifier& notifier() { return notifier_; }

    // --- UtilityView ---
    void setControls(const ControlStates& s) override;
    void showSettings(const std::array<uint8_t, kSettingCount>& values) override;
    void showFirmwareVersion(const std::string& text) override;
    void setProgressVisible(bool visible) override;
    void showProgress(int percent, const std::string& text) override;
    void setCancelCaption(const std::string& caption) override;
    void endDialog() override;
    void showTestImage(TestImage& image) override;

  protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void reject() override;

  private:
    void buildControls();
    void applyTexts();
    void layoutButtons();
    void readPickers();
    QAbstractButton* button(int id) const;

    UtilityFiles files_;
    UtilityTexts startTexts_;
    DialogUnits du_;
    twain_source::QtTimerHost timers_;
    twain_source::QtNotifier notifier_;
    std::unique_ptr<UtilityDialog> core_;
    std::map<int, QWidget*> controls_;
    QMenu* languageMenu_ = nullptr;
    std::unique_ptr<QFile> log_;
    bool maintenance_ = false;
    bool updatingControls_ = false;  // radios set by the core, not clicked
};

}  // namespace q47::utility
