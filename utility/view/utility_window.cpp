// The utility's dialog: controls at template positions, enabling, language switch, help, log.
#include "utility/view/utility_window.h"

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimeEdit>
#include <QUrl>

#include "platform/paths.h"
#include "utility/view/test_image_window.h"
#include "imaging/file_type_provider.h"

namespace q47::utility {

namespace {

enum MenuId { MenuEnglish = 32771, MenuJapanese = 32772, MenuChinese = 32773 };

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The window's icon: a small copyboard, drawn so that no image file has to ship with it.
QIcon boardIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(250, 250, 245));
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.drawRoundedRect(3, 5, 26, 19, 2, 2);
    p.setPen(QPen(QColor(20, 90, 200), 2));
    p.drawLine(8, 11, 20, 11);
    p.drawLine(8, 16, 24, 16);
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.drawLine(10, 24, 7, 30);
    p.drawLine(22, 24, 25, 30);
    return QIcon(pm);
}

struct Radio {
    int id;
    Setting setting;
    uint8_t value;
    const char* key;
    int x, y, w, h;
};
const Radio kRadios[] = {
    {IdStampDisable, Stamp, 0, "RadioTimeStampDisable", 17, 21, 48, 10},
    {IdStampEnable, Stamp, 1, "RadioTimeStampEnable", 73, 21, 48, 10},
    {IdMarginDisable, Margin, 0, "RadioMarginDisable", 15, 76, 55, 10},
    {IdMarginEnable, Margin, 1, "RadioMarginEnable", 15, 95, 55, 10},
    {IdA4, Paper, 0, "RadioA4", 139, 77, 25, 10},
    {IdLetter, Paper, 1, "RadioLetter", 139, 94, 36, 10},
    {IdPrintOriginal, PrintMode, 0, "RadioOriginalImage", 19, 140, 100, 10},
    {IdPrintMatch, PrintMode, 1, "RadioMatchPaperSize", 19, 158, 100, 10},
    {IdSaveOriginal, SaveMode, 0, "RadioOriginalImage", 138, 140, 102, 10},
    {IdSaveMatch, SaveMode, 1, "RadioMatchPaperSize", 138, 158, 102, 10},
};
struct Frame {
    int id;
    const char* key;
    int x, y, w, h;
};
const Frame kFrames[] = {
    {IdFrameTimeStamp, "FrameTimeStamp", 7, 7, 186, 51},
    {IdFrameMargin, "FrameMargin", 7, 62, 118, 51},
    {IdFramePaper, "FramePaper", 131, 62, 121, 51},
    {IdFrameAspect, "FrameAspect", 7, 116, 245, 67},
    {IdFramePrint, "FramePrintMode", 13, 126, 111, 51},
    {IdFrameSave, "FrameSaveMode", 132, 126, 114, 51},
    {IdMaintenance, "FrameMaintenance", 7, 193, 245, 108},
};
struct Button {
    int id;
    const char* key;
    int x, y, w, h;
};
const Button kButtons[] = {
    {IdFileSelect, "ButtonFileSelect", 227, 221, 16, 13},
    {IdUpdate, "ButtonUpgrade", 193, 237, 50, 19},
    {IdReset, "ButtonReset", 6, 311, 51, 20},
    {IdOk, "ButtonOK", 69, 311, 51, 20},
    {IdCancel, "ButtonCancel", 132, 311, 51, 20},
    {IdApply, "ButtonApply", 195, 311, 51, 20},
};

QFont dialogFont(const UtilityTexts& t) {
    QFont f(qs(t.text("Mode_Font")));
    const int size = t.fontSize();
    f.setPointSize(size > 0 ? size : 8);
    return f;
}

}  // namespace

UtilityWindow::UtilityWindow(UtilityFiles files, const UtilityTexts& texts, QWidget* parent)
    : QDialog(parent),
      files_(std::move(files)),
      startTexts_(texts),
      du_(dialogFont(texts)),
      notifier_(this) {
    setObjectName("UtilityDialog");
    setFont(dialogFont(texts));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    setWindowIcon(boardIcon());
    core_ = std::make_unique<UtilityDialog>(
        UtilityEnvironment{timers_, notifier_, *this, files_.settingsFolder, files_.deviceSpec});
    core_->texts() = texts;
    buildControls();

    languageMenu_ = new QMenu(this);
    for (int id : {MenuEnglish, MenuJapanese, MenuChinese}) {
        QAction* a = languageMenu_->addAction(QString());
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { switchLanguage(id); });
    }
    auto* maintenance = new QShortcut(QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_F8), this);
    connect(maintenance, &QShortcut::activated, this, &UtilityWindow::toggleMaintenance);
    // Desktops here have no title-bar help button: F1 opens the help.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &UtilityWindow::openHelp);
}

UtilityWindow::~UtilityWindow() {
    core_->destroy();
    if (log_) log_->close();
}

QWidget* UtilityWindow::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAbstractButton* UtilityWindow::button(int id) const {
    return qobject_cast<QAbstractButton*>(control(id));
}

void UtilityWindow::buildControls() {
    auto place = [&](QWidget* w, int id, int x, int y, int wd, int h) {
        w->setGeometry(du_.rect(x, y, wd, h));
        controls_[id] = w;
    };
    for (const auto& f : kFrames) place(new QGroupBox(this), f.id, f.x, f.y, f.w, f.h);
    std::map<Setting, QButtonGroup*> groups;
    for (const auto& r : kRadios) {
        auto* b = new QRadioButton(this);
        place(b, r.id, r.x, r.y, r.w, r.h);
        auto*& g = groups[r.setting];
        if (!g) g = new QButtonGroup(this);
        g->addButton(b);
        connect(b, &QRadioButton::clicked, this, [this, r] {
            if (!updatingControls_) core_->selectSetting(r.setting, r.value);
        });
    }
    auto* date = new QDateEdit(QDate::currentDate(), this);
    date->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    date->setAlignment(Qt::AlignRight);
    place(date, IdDate, 15, 36, 68, 15);
    auto* time = new QTimeEdit(QTime::currentTime(), this);
    time->setDisplayFormat(QLocale().timeFormat(QLocale::ShortFormat));
    time->setAlignment(Qt::AlignRight);
    place(time, IdTime, 95, 36, 66, 15);
    connect(date, &QDateEdit::dateChanged, this, [this] { readPickers(); });
    connect(time, &QTimeEdit::timeChanged, this, [this] { readPickers(); });

    place(new QLabel(this), IdFirmVersionLabel, 95, 209, 83, 10);
    place(new QLabel(this), IdFirmVersion, 186, 209, 57, 10);
    auto* nameLabel = new QLabel(this);
    nameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(nameLabel, IdFirmNameLabel, 10, 225, 79, 10);
    auto* fileName = new QLineEdit(this);
    place(fileName, IdFileName, 93, 221, 128, 12);
    connect(fileName, &QLineEdit::textChanged, this,
            [this](const QString& t) { core_->setFirmwarePath(t.toStdString()); });
    for (int id : {IdFull, IdProgram}) {
        auto* hidden = new QRadioButton(this);
        place(hidden, id, id == IdFull ? 34 : 92, 245, id == IdFull ? 51 : 61, 10);
        hidden->hide();
    }
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    place(frame, IdProgressFrame, 14, 260, 231, 32);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    place(bar, IdProgress, 20, 265, 218, 12);
    place(new QLabel(this), IdProgressText, 20, 279, 217, 8);

    for (const auto& b : kButtons) place(new QPushButton(this), b.id, b.x, b.y, b.w, b.h);
    connect(button(IdReset), &QAbstractButton::clicked, this, [this] { core_->reset(); });
    connect(button(IdApply), &QAbstractButton::clicked, this, [this] { core_->apply(); });
    connect(button(IdOk), &QAbstractButton::clicked, this, [this] { core_->ok(); });
    connect(button(IdCancel), &QAbstractButton::clicked, this, &UtilityWindow::reject);
    connect(button(IdFileSelect), &QAbstractButton::clicked, this,
            &UtilityWindow::chooseFirmwareFile);
    connect(button(IdUpdate), &QAbstractButton::clicked, this,
            [this] { core_->startFirmwareUpdate(); });
    static_cast<QPushButton*>(button(IdOk))->setAutoDefault(false);
}

void UtilityWindow::initialise() {
    // The log file is kept open for the dialog's life; nothing is written into it.
    const auto logPath = files_.settingsFolder / kLogFileName;
    log_ = std::make_unique<QFile>(QString::fromStdString(logPath.string()));
    if (!log_->open(QIODevice::Append | QIODevice::WriteOnly))
        notifier_.messageBox(core_->texts().text("MessageFileOpenError") + logPath.string(),
                             core_->texts().title(), MsgIcon::Exclamation, MsgButtons::Ok);
    // The template's size, then half as wide and 183 pixels short: the maintenance area
    // is hidden.
    resize(du_.x(kTemplateWidth) / 2, du_.y(kTemplateHeight) - kMaintenanceHeight);
    maintenance_ = false;
    layoutButtons();
    applyTexts();
    core_->initialise();
}

void UtilityWindow::applyTexts() {
    const UtilityTexts& t = core_->texts();
    setWindowTitle(qs(t.title()));
    const char* menuKeys[] = {"MenuEnglish", "MenuJapanese", "MenuChinese"};
    for (int i = 0; i < 3; ++i) languageMenu_->actions()[i]->setText(qs(t.text(menuKeys[i])));
    for (const auto& f : kFrames)
        static_cast<QGroupBox*>(control(f.id))->setTitle(qs(t.text(f.key)));
    for (const auto& r : kRadios) button(r.id)->setText(qs(t.text(r.key)));
    for (const auto& b : kButtons) button(b.id)->setText(qs(t.text(b.key)));
    button(IdFull)->setText(qs(t.text("RadioFull")));
    button(IdProgram)->setText(qs(t.text("RadioProgram")));
    controlAs<QLabel>(IdFirmVersionLabel)->setText(qs(t.text("LabelFirmVersion")));
    controlAs<QLabel>(IdFirmNameLabel)->setText(qs(t.text("LabelFirmName")));
    button(IdCancel)->setFocus();
    update();
}

void UtilityWindow::layoutButtons() {
    for (int id : {IdMaintenance, IdFirmVersionLabel, IdFirmVersion, IdFirmNameLabel, IdFileName,
                   IdUpdate, IdFileSelect})
        control(id)->setVisible(maintenance_);
    control(IdFull)->hide();
    control(IdProgram)->hide();
    const QSize reset = control(IdReset)->size();
    const int cw = width(), ch = height();
    const int ids[4] = {IdReset, IdOk, IdCancel, IdApply};
    for (int i = 0; i < 4; ++i)
        control(ids[i])->setGeometry(bottomButtonX(i, cw, reset.width()), ch - 40, reset.width(),
                                     reset.height());
}

void UtilityWindow::toggleMaintenance() {
    maintenance_ = !maintenance_;
    resize(width(), height() + (maintenance_ ? kMaintenanceHeight : -kMaintenanceHeight));
    layoutButtons();
}

void UtilityWindow::readPickers() {
    if (updatingControls_) return;
    const QDate d = controlAs<QDateEdit>(IdDate)->date();
    const QTime t = controlAs<QTimeEdit>(IdTime)->time();
    core_->setPickerClock({d.year(), d.month(), d.day(), t.hour(), t.minute()});
}

void UtilityWindow::switchLanguage(int menuId) {
    core_->destroy();
    const char* code = menuId == MenuJapanese ? "JPN" : menuId == MenuChinese ? "CHS" : "ENG";
    const auto from = paths::languageFolder(files_.settingsFolder, code);
    std::error_code ec;  // failed copies are silent: the current files stay
    for (const char* name : {kLanguageFileName, kHelpFileName})
        std::filesystem::copy_file(from / name, files_.settingsFolder / name,
                                   std::filesystem::copy_options::overwrite_existing, ec);
    core_->texts().loadTexts((files_.settingsFolder / kLanguageFileName).string(), false);
    applyTexts();
    core_->applyTexts();
    core_->restartQueries();
}

void UtilityWindow::openHelp() {
    auto page = files_.settingsFolder / kHelpFileName;
    if (!std::filesystem::exists(page))
        page = paths::languageFolder(files_.settingsFolder, "ENG") / kHelpFileName;
    if (std::filesystem::exists(page))
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(page.string())));
}

void UtilityWindow::chooseFirmwareFile() {
    QFileDialog dlg(this, QString(), "Q47_*_*.mot", "Mot Files(*.mot);;All Files(*)");
    dlg.setDefaultSuffix("mot");
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setIconProvider(nameOnlyFileTypes());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    takeChosenFirmwareFile(dlg.selectedFiles().first().toStdString());
}

void UtilityWindow::takeChosenFirmwareFile(const std::filesystem::path& chosen) {
    // The bare name is opened when the update starts, from the folder the open-file
    // dialog leaves the process in.
    std::error_code ec;
    std::filesystem::current_path(chosen.parent_path(), ec);
    controlAs<QLineEdit>(IdFileName)->setText(QString::fromStdString(chosen.filename().string()));
}

void UtilityWindow::contextMenuEvent(QContextMenuEvent* e) {
    languageMenu_->exec(e->globalPos());
}

void UtilityWindow::reject() {
    core_->destroy();
    QDialog::reject();
}

// --- UtilityView ---

void UtilityWindow::setControls(const ControlStates& s) {
    const std::pair<int, bool> states[] = {
        {IdReset, s.reset},           {IdOk, s.ok},
        {IdCancel, s.cancel},         {IdApply, s.apply},
        {IdUpdate, s.update},         {IdFileSelect, s.fileSelect},
        {IdFileName, s.fileName},     {IdStampDisable, s.timeStamp},
        {IdStampEnable, s.timeStamp}, {IdMarginDisable, s.margin},
        {IdMarginEnable, s.margin},   {IdA4, s.paper},
        {IdLetter, s.paper},          {IdDate, s.pickers},
        {IdTime, s.pickers},          {IdPrintOriginal, s.imageModes},
        {IdPrintMatch, s.imageModes}, {IdSaveOriginal, s.imageModes},
        {IdSaveMatch, s.imageModes}};
    for (auto [id, on] : states) control(id)->setEnabled(on);
}

void UtilityWindow::showSettings(const std::array<uint8_t, kSettingCount>& values) {
    updatingControls_ = true;
    for (const auto& r : kRadios)
        if (values[r.setting] == r.value) button(r.id)->setChecked(true);
    updatingControls_ = false;
}

void UtilityWindow::showFirmwareVersion(const std::string& text) {
    controlAs<QLabel>(IdFirmVersion)->setText(qs(text));
}

void UtilityWindow::setProgressVisible(bool visible) {
    for (int id : {IdProgressFrame, IdProgress, IdProgressText}) control(id)->setVisible(visible);
}

void UtilityWindow::showProgress(int percent, const std::string& text) {
    controlAs<QProgressBar>(IdProgress)->setValue(percent);
    controlAs<QLabel>(IdProgressText)->setText(qs(text));
}

void UtilityWindow::setCancelCaption(const std::string& caption) {
    button(IdCancel)->setText(qs(caption));
}

void UtilityWindow::endDialog() {
    accept();
}

void UtilityWindow::showTestImage(TestImage& image) {
    if (testImageShower) {
        testImageShower(image);
        return;
    }
    TestImageWindow w(image, core_->texts().text("MsgSaveImage"), core_->texts().title(), notifier_,
                      this);
    w.exec();
}

}  // namespace q47::utility
