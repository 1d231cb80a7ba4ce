// TestImageWindow: the modal window that shows the PCB test image and offers to save it.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <string>

#include "platform/notifier.h"
#include "utility/test_image.h"

namespace q47::utility {

// The bitmap as a QImage (one bit, white and black, rows top first).
QImage testImageToQImage(const TestImage& image);

class TestImageWindow : public QDialog {
    Q_OBJECT
  public:
    // saveQuestion is the MsgSaveImage text; notifier asks it.
    TestImageWindow(TestImage& image, const std::string& saveQuestion, const std::string& caption,
                    Notifier& notifier, QWidget* parent = nullptr);
    // The save-file dialog; tests replace it. Returns the chosen path or "" when cancelled.
    std::function<QString()> chooseFile;
    // Where the picture is drawn in the client area.
    QRect pictureRect() const;

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

  private:
    bool askToClose();
    TestImage& image_;
    QImage picture_;
    std::string question_, caption_;
    Notifier& notifier_;
};

}  // namespace q47::utility
