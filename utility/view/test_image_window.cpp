// The test image window: aspect-keeping paint from the top-left corner and the save question.
#include "utility/view/test_image_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QPainter>

#include "platform/dib.h"
#include "utility/view/dialog_units.h"
#include "imaging/file_type_provider.h"

namespace q47::utility {

QImage testImageToQImage(const TestImage& image) {
    dib::View v;
    const auto& bytes = image.bitmap();
    if (bytes.empty() || !dib::parse(bytes.data(), bytes.size(), &v)) return {};
    QImage out(v.width, v.height, QImage::Format_Mono);
    out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const size_t rowBytes = size_t(v.width) / 8;
    for (int y = 0; y < v.height; ++y) std::memcpy(out.scanLine(y), v.rowFromTop(y), rowBytes);
    return out;
}

TestImageWindow::TestImageWindow(TestImage& image, const std::string& saveQuestion,
                                 const std::string& caption, Notifier& notifier, QWidget* parent)
    : QDialog(parent),
      image_(image),
      question_(saveQuestion),
      caption_(caption),
      notifier_(notifier) {
    setObjectName("TestImageWindow");
    setWindowTitle("PCTestImage(Untitled)");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    const DialogUnits du(font());
    resize(du.x(340), du.y(229));
    picture_ = testImageToQImage(image_);
    chooseFile = [this] {
        QFileDialog dlg(this, QString(), "PCBTestImage1", "bmp Files(*.bmp)");
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setIconProvider(nameOnlyFileTypes());
        dlg.setDefaultSuffix("bmp");
        dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
        return dlg.exec() == QDialog::Accepted ? dlg.selectedFiles().value(0) : QString();
    };
}

QRect TestImageWindow::pictureRect() const {
    if (picture_.isNull() || picture_.height() == 0) return {};
    const int h = height();
    return QRect(0, 0, int(int64_t(h) * picture_.width() / picture_.height()), h);
}

void TestImageWindow::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(pictureRect(), picture_);
}

void TestImageWindow::resizeEvent(QResizeEvent*) {
    update();
}

bool TestImageWindow::askToClose() {
    const MsgResult r =
        notifier_.messageBox(question_, caption_, MsgIcon::Exclamation, MsgButtons::YesNoCancel);
    if (r == MsgResult::No) return true;
    if (r != MsgResult::Yes) return false;
    const QString path = chooseFile();
    if (path.isEmpty()) return false;
    image_.saveTestImageBmp(path.toStdString());  // a failed save is silent; the window closes
    return true;
}

void TestImageWindow::closeEvent(QCloseEvent* e) {
    if (askToClose()) {
        e->accept();
        QDialog::done(QDialog::Accepted);
    } else {
        e->ignore();
    }
}

// Esc closes the way the close box does.
void TestImageWindow::reject() {
    if (askToClose()) QDialog::reject();
}

}  // namespace q47::utility
