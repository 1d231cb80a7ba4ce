// AcquireWindow: the panel's controls at their pixel places, and the AcquireView calls of the core.
#include "twain_source/view/acquire_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

#include "board/packet.h"
#include "twain_source/view/panel_controls.h"

namespace q47::twain_source {

namespace {

const QColor kDialogBack(236, 233, 216);
const QColor kTipBack(255, 255, 220);

constexpr int kFullWidth = 370;  // window width, frame included
constexpr int kFullClientHeight = 211;
constexpr int kSmallWidth = 460;
constexpr int kSmallClientHeight = 100;

// Controls are placed by their left, top, right and bottom pixel edges.
QRect edges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// Draws the tip on screen above every control, as drawing on the dialog's own device
// context does; it takes no mouse input, so the controls below keep theirs.
class TipOverlay : public QWidget {
public:
    TipOverlay(QWidget* parent, const TipWindow& tips) : QWidget(parent), tips_(tips) {
        setObjectName("TipWindow");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        tips_.paint(p);
    }

private:
    const TipWindow& tips_;
};

AcquireWindow::AcquireWindow(WindowMode mode, TwainSide& twain, SourceGlobals& globals,
                             SettingsFile settings, std::string deviceSpec, QWidget* parent)
    : QDialog(parent), mode_(mode), timers_(this), notifier_(this) {
    setObjectName("AcquireDialog");
    setWindowTitle("TWAIN Acquisition");
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kDialogBack);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setMouseTracking(true);  // moving over the dialog itself takes the tip away

    core_ = std::make_unique<AcquireDialog>(
        mode, AcquireEnvironment{timers_, pump_, notifier_, *this, twain, globals,
                                 std::move(settings), std::move(deviceSpec)});
    // Every timer enters the core through the window, so the window knows when a
    // core call (and the event loops it may run) is still on the stack.
    timers_.setCallback([this](int id) {
        Running running(this);
        core_->onTimer(id);
    });
    createControls();
}

AcquireWindow::Running::~Running() {
    if (--w_->running_ == 0 && w_->endRequested_) w_->deleteLater();
}

void AcquireWindow::end() {
    core_->destroy();
    notifier_.closeOpenBox();
    hideTip();
    hide();
    if (endRequested_) return;
    endRequested_ = true;
    if (running_ == 0) deleteLater();
}

AcquireWindow::~AcquireWindow() {
    core_->destroy();
    timers_.stopAll();
    core_.reset();
    delete overlay_;  // it draws from tips_, which goes before the child widgets do
    overlay_ = nullptr;
}

void AcquireWindow::createControls() {
    auto remember = [this](int id, QWidget* w) {
        w->setObjectName(QString("IDC_%1").arg(id));
        controls_[id] = w;
    };

    // The controls of the window's template.
    auto* close = new QPushButton("Close", this);
    remember(IdClose, close);
    auto* acquire = new QPushButton("Acquire", this);
    remember(IdAcquire, acquire);
    auto* res1 = new QRadioButton("200 dpi", this);
    res1->setChecked(true);
    remember(IdRadioRes1, res1);
    remember(IdRadioRes2, new QRadioButton("300 dpi", this));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    remember(IdProgress, progress_);
    remember(IdFirmVersion, new QLabel("Firmware Version:", this));
    remember(IdGroupRes, new QGroupBox(this));
    remember(IdDeviceType, new QLabel("Device Type:", this));
    for (auto* b : {close, acquire}) {
        b->setAutoDefault(false);  // Enter presses nothing, as in a dialog without IDOK
        b->setDefault(false);
    }
    connect(close, &QPushButton::clicked, this, [this] { buttonClicked(IdClose); });
    connect(acquire, &QPushButton::clicked, this, [this] { buttonClicked(IdAcquire); });

    // The run-time controls.
    struct LabelPlace {
        int id;
        QRect rect;
        Qt::Alignment align;
    };
    const LabelPlace labelPlaces[] = {
        {IdHeader, edges(20, 2, 344, 38), Qt::AlignCenter},
        {IdLabelPcScan, edges(4, 104, 74, 118), Qt::AlignHCenter | Qt::AlignTop},
        {IdLabelComp, edges(76, 104, 146, 118), Qt::AlignHCenter | Qt::AlignTop},
        {IdLabelDensity, edges(168, 104, 217, 118), Qt::AlignHCenter | Qt::AlignTop},
        {IdLabelColor, edges(240, 104, 282, 118), Qt::AlignHCenter | Qt::AlignTop},
        {IdLabelStop, edges(306, 104, 348, 118), Qt::AlignHCenter | Qt::AlignTop},
        {IdLabelAspect, edges(4, 120, 130, 134), Qt::AlignHCenter | Qt::AlignTop},
        {IdStatus, edges(4, 160, 359, 181), Qt::AlignLeft | Qt::AlignVCenter},
    };
    for (const auto& place : labelPlaces) {
        auto* label = new ColorLabel(this);
        label->setGeometry(place.rect);
        label->setAlignment(place.align);
        remember(place.id, label);
        labels_[place.id] = label;
    }
    labels_[IdHeader]->setFrameStyle(QFrame::Box | QFrame::Plain);
    labels_[IdStatus]->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    struct ButtonPlace {
        int id;
        KeySymbol key;
        QPoint at;
    };
    const ButtonPlace buttonPlaces[] = {
        {IdPcScan, KeySymbol::PcScan, {12, 40}},  {IdComp, KeySymbol::Comp, {84, 40}},
        {IdDensity, KeySymbol::Density, {156, 40}}, {IdColor, KeySymbol::Color, {228, 40}},
        {IdStop, KeySymbol::Stop, {300, 40}},
    };
    for (const auto& place : buttonPlaces) {
        auto* button = new PictureButton(place.key, this);
        button->move(place.at);  // the size is the pictures' (54 x 58)
        const int id = place.id;
        button->onHover = [this, id] { hoverButton(id); };
        connect(button, &QAbstractButton::clicked, this, [this, id] { buttonClicked(id); });
        remember(id, button);
        buttons_[id] = button;
    }

    const QPixmap off = QPixmap::fromImage(lampPicture(false));
    densityLamp_ = new QLabel(this);
    densityLamp_->setObjectName("LED_DENSITY");
    colourLamp_ = new QLabel(this);
    colourLamp_->setObjectName("LED_COLOR");
    densityLamp_->setGeometry(156, 104, kLampWidth, kLampHeight);
    colourLamp_->setGeometry(228, 104, kLampWidth, kLampHeight);
    for (QLabel* lamp : {densityLamp_, colourLamp_}) lamp->setPixmap(off);

    controls_[IdDeviceType]->setGeometry(8, 188, 220, 22);

    // The language menu.
    menu_ = new QMenu(this);
    menu_->setObjectName("IDR_1028");
    const std::pair<int, const char*> items[] = {
        {IdMenuEnglish, "&English"}, {IdMenuJapanese, "&Japanese"}, {IdMenuChinese, "&Chinese"}};
    for (const auto& [id, text] : items) {
        QAction* a = menu_->addAction(text);
        a->setObjectName(QString("ID_%1").arg(id));
        const Language lang = id == IdMenuEnglish    ? Language::English
                              : id == IdMenuJapanese ? Language::Japanese
                                                     : Language::Chinese;
        connect(a, &QAction::triggered, this, [this, lang] { chooseLanguage(lang); });
        menuActions_[id] = a;
    }

    // Static texts and pictures let the mouse through to the dialog (which takes the tip
    // away); a widget without tracking would swallow the move instead.
    for (QWidget* w : {static_cast<QWidget*>(densityLamp_), static_cast<QWidget*>(colourLamp_),
                       controls_[IdDeviceType], controls_[IdFirmVersion], controls_[IdGroupRes]})
        w->setMouseTracking(true);
    for (auto& [id, label] : labels_) label->setMouseTracking(true);

    // Everything starts hidden; the layout shows what the mode needs.
    for (auto& [id, w] : controls_) w->hide();
    densityLamp_->hide();
    colourLamp_->hide();

    overlay_ = new TipOverlay(this, tips_);
    overlay_->setGeometry(rect());
    overlay_->raise();
}

void AcquireWindow::applyDialogFont() {
    const DialogFont& df = core_->dialogFont();
    QFont f(qs(df.name));
    if (df.tenthsOfPoint > 0) f.setPointSizeF(df.tenthsOfPoint / 10.0);
    setFont(f);
    for (int id : {IdAcquire, IdClose, IdRadioRes1, IdFirmVersion, IdDeviceType, IdGroupRes})
        controls_[id]->setFont(f);
}

void AcquireWindow::start() {
    if (started_) return;
    started_ = true;
    Running running(this);
    core_->initialise();
    if (!core_->destroyed()) applyDialogFont();
}

QWidget* AcquireWindow::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

bool AcquireWindow::lampOn(int buttonId) const {
    return buttonId == IdDensity ? densityOn_ : buttonId == IdColor ? colourOn_ : false;
}

QAction* AcquireWindow::menuAction(int menuId) const {
    auto it = menuActions_.find(menuId);
    return it == menuActions_.end() ? nullptr : it->second;
}

// --- the core's calls ---

void AcquireWindow::showStatus(const std::string& text) {
    if (mode_ == WindowMode::ProgressOnly)
        setWindowTitle(qs(text));
    else
        labels_[IdStatus]->setText(" " + qs(text));
}

void AcquireWindow::setPanelReady(bool ready, const PanelButtons& b) {
    (void)ready;  // the core has decided every state already
    progress_->setValue(0);
    buttons_[IdPcScan]->setEnabled(b.pcScan);
    buttons_[IdComp]->setEnabled(b.comp);
    buttons_[IdDensity]->setEnabled(b.density);
    buttons_[IdColor]->setEnabled(b.colour);
    buttons_[IdStop]->setEnabled(b.stop);
    controls_[IdClose]->setEnabled(b.close);
    progress_->setVisible(b.progressBarVisible);
}

void AcquireWindow::enableStopClose(bool enabled) {
    buttons_[IdStop]->setEnabled(enabled);
    controls_[IdClose]->setEnabled(enabled);
}

void AcquireWindow::setProgressBarVisible(bool visible) { progress_->setVisible(visible); }

void AcquireWindow::showProgress(int percent) {
    // The board's percent may run past 100 (it is a byte); the bar stops at its ends as
    // a progress control does, where a QProgressBar would ignore the value.
    progress_->setValue(std::clamp(percent, 0, 100));
}

void AcquireWindow::refreshPanel(const PanelContent& c) {
    const Texts& t = *c.texts;
    auto text = [&t](const char* key) { return qs(t.text(key)); };

    setWindowTitle(text("DialogTitle"));
    menuActions_[IdMenuEnglish]->setText(text("MenuEnglish"));
    menuActions_[IdMenuJapanese]->setText(text("MenuJapanese"));
    menuActions_[IdMenuChinese]->setText(text("MenuChinese"));

    for (auto& [id, b] : buttons_) b->update();

    auto applyGroup = [&t](ColorLabel* label, const char* group) {
        const FontSpec f = t.font(group);
        label->setTextColour(QColor(f.colour.r, f.colour.g, f.colour.b));
        label->setFont(f.pointSize, qs(f.name), f.weight);
    };
    applyGroup(labels_[IdHeader], "Caption");
    for (int id : {IdLabelComp, IdLabelPcScan, IdLabelDensity, IdLabelColor, IdLabelStop,
                   IdLabelAspect})
        applyGroup(labels_[id], "ImageFace");
    applyGroup(labels_[IdStatus], "StatusLbl");

    labels_[IdHeader]->setText(text("MainCaption"));
    labels_[IdLabelComp]->setText(text("LabelComp"));
    labels_[IdLabelPcScan]->setText(text("LabelPCScan"));
    labels_[IdLabelDensity]->setText(text("LabelDensityHigh"));
    labels_[IdLabelColor]->setText(text("LabelColor"));
    labels_[IdLabelStop]->setText(text("LabelStop"));
    labels_[IdLabelAspect]->setText(text("LabelAspect"));
    static_cast<QLabel*>(controls_[IdFirmVersion])
        ->setText(text("LabelFirmVersion") + " " + qs(c.firmwareVersion));
    static_cast<QLabel*>(controls_[IdDeviceType])
        ->setText(text("LabelDeviceType") + " " + qs(c.modelName) + "   " +
                  text("LabelFirmVersion") + " " + qs(c.firmwareVersion));
    labels_[IdStatus]->setText(" " + qs(c.statusText));
    auto* res1 = static_cast<QRadioButton*>(controls_[IdRadioRes1]);
    res1->setText(text("RadioImageRes1"));
    res1->setChecked(true);
    static_cast<QPushButton*>(controls_[IdClose])
        ->setText(text(c.mode == WindowMode::Full ? "ButtonClose" : "ButtonClose2"));
    static_cast<QPushButton*>(controls_[IdAcquire])->setText(text("ButtonAcquire"));

    densityOn_ = c.densityLamp;
    colourOn_ = c.colourLamp;
    densityLamp_->setPixmap(QPixmap::fromImage(lampPicture(densityOn_)));
    colourLamp_->setPixmap(QPixmap::fromImage(lampPicture(colourOn_)));

    const std::pair<int, const char*> tipKeys[] = {{IdComp, "ToolTipComp"},
                                                   {IdPcScan, "ToolTipPCScan"},
                                                   {IdDensity, "ToolTipDensity"},
                                                   {IdColor, "ToolTipColor"},
                                                   {IdStop, "ToolTipStop"}};
    for (const auto& [id, key] : tipKeys) tips_.remove(id);
    for (const auto& [id, key] : tipKeys) tips_.add(id, {text(key)}, kTipBack, Qt::black);
    // A tip on screen shows its new text at its new size at once.
    if (const int shown = tips_.shownId()) showTipFor(shown);
}

void AcquireWindow::layoutWindow(WindowMode mode) {
    applyDialogFont();
    // The window's width counts its frame, the height only the client area.
    const int frameWidth = frameGeometry().width() - geometry().width();
    QWidget* close = controls_[IdClose];
    if (mode == WindowMode::Full) {
        setFixedSize(kFullWidth - frameWidth, kFullClientHeight);
        for (auto& [id, b] : buttons_) b->show();
        for (int id : {IdLabelPcScan, IdLabelComp, IdLabelDensity, IdLabelColor, IdLabelStop,
                       IdLabelAspect})
            labels_[id]->show();
        densityLamp_->show();
        colourLamp_->show();
        labels_[IdStatus]->setGeometry(4, 160, 355, 21);
        controls_[IdFirmVersion]->setGeometry(20, 128, 200, 24);
        controls_[IdDeviceType]->setGeometry(134, 138, 220, 22);
        controls_[IdGroupRes]->setGeometry(20, 170, 120, 46);
        controls_[IdRadioRes1]->setGeometry(50, 140, 64, 24);
        progress_->setGeometry(3, 186, 296, 20);
        close->setGeometry(303, 184, 58, 24);
        // The panel's header, model line, status line and Close belong to it as well.
        labels_[IdHeader]->show();
        labels_[IdStatus]->show();
        controls_[IdDeviceType]->show();
        close->show();
    } else {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::MSWindowsFixedSizeDialogHint);  // no system menu, no close box
        setFixedSize(kSmallWidth - frameWidth, kSmallClientHeight);
        const QRect screen = QGuiApplication::primaryScreen()
                                 ? QGuiApplication::primaryScreen()->geometry()
                                 : QRect(0, 0, 1024, 768);
        // Both offsets use the width, as the window has always been placed.
        move((screen.width() - kSmallWidth) / 2, (screen.height() - kSmallWidth) / 2);
        for (auto& [id, b] : buttons_) b->hide();
        for (auto& [id, l] : labels_) l->hide();
        densityLamp_->hide();
        colourLamp_->hide();
        for (int id : {IdFirmVersion, IdDeviceType, IdGroupRes}) controls_[id]->hide();
        setWindowTitle(QString());
        controls_[IdRadioRes1]->setGeometry(0, 0, 64, 24);
        progress_->setGeometry(20, 20, 420, 20);
        close->setGeometry(201, 65, 58, 24);
        close->show();
    }
    controls_[IdGroupRes]->hide();
    overlay_->setGeometry(rect());
    overlay_->raise();
    if (mode != WindowMode::Hidden) show();
}

void AcquireWindow::hideWindow() {
    hideTip();
    hide();
}

// --- tips, menu, keys ---

void AcquireWindow::hoverButton(int id) {
    auto it = buttons_.find(id);
    if (it == buttons_.end()) return;
    if (it->second->isEnabled()) it->second->setFocus(Qt::MouseFocusReason);
    showTipFor(id);
}

void AcquireWindow::showTipFor(int id) {
    auto it = buttons_.find(id);
    if (it == buttons_.end()) return;
    // The dialog's window rectangle in its own client coordinates (frame included).
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const QRect dialog(frame.x() - client.x(), frame.y() - client.y(), frame.width(),
                       frame.height());
    overlay_->update(tips_.show(id, dialog, it->second->geometry()));
}

void AcquireWindow::hideTip() {
    const QRect dirty = tips_.hide();
    if (!dirty.isEmpty()) overlay_->update(dirty);
}

void AcquireWindow::buttonClicked(int id) {
    Running running(this);
    switch (id) {
        case IdPcScan: core_->startPcScan(); break;
        case IdComp: core_->startCompressedScan(); break;
        case IdDensity: core_->pressKey(board::KeyDensity); break;
        case IdColor: core_->pressKey(board::KeyColor); break;
        case IdStop: core_->pressKey(board::KeyStop); break;
        case IdClose: core_->cancel(); break;
        case IdAcquire: core_->acquireButton(); break;
        default: break;
    }
}

void AcquireWindow::chooseLanguage(Language lang) {
    Running running(this);
    core_->switchLanguage(lang);  // copies the language file, reloads, refreshes the panel
}

void AcquireWindow::reject() {  // Esc: the window stays until disabled
    Running running(this);
    core_->cancel();
}

void AcquireWindow::closeEvent(QCloseEvent* e) {
    if (e->spontaneous()) {
        // The caption's close box cancels; the TWAIN side decides when the window goes.
        e->ignore();
        Running running(this);
        core_->cancel();
        return;
    }
    // A close the program asks for is an application quitting (it closes every window
    // first and gives up if one refuses): let it go. The window hides; its owner still
    // destroys it.
    e->accept();
}

void AcquireWindow::contextMenuEvent(QContextMenuEvent* e) {
    menu_->popup(e->globalPos());
    e->accept();
}

void AcquireWindow::mouseMoveEvent(QMouseEvent* e) {
    hideTip();
    QDialog::mouseMoveEvent(e);
}

void AcquireWindow::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (overlay_) overlay_->setGeometry(rect());
}

}  // namespace q47::twain_source
