// The capture flow's view of the image window: TfrmImg's operations and result numbers
// behind the CaptureImages interface, plus the full-screen window the flow closes.
#pragma once

#include "capture/capture_flow.h"
#include "capture/full_screen_window.h"
#include "capture/image_window.h"

namespace q47::capture {

class ImageWindowAdapter : public CaptureImages {
public:
    ImageWindowAdapter(TfrmImg& img, TfrmFull& full) : img_(img), full_(full) {}

    bool visible() const override;
    bool compositeUnsaved() const override;
    void resetProgress() override;
    void setProgress(int position) override;
    void progressToMaximum() override;
    int CaptureMonitor(int index) override;
    int OpenAcquisition() override;
    int ScanSheet() override;
    bool scanBusy() const override;
    void closeFullScreenIfVisible() override;
    void redisplay() override;
    void ReleaseAllImages() override;
    void TakeSheetImage(bool keep) override;
    void showComposite() override;
    int DetectMarks(int selectMark) override;
    void restoreFromMinimised() override;
    void ComposeImages() override;
    int SaveImage(const std::string& fileName, int saveType) override;

private:
    TfrmImg& img_;
    TfrmFull& full_;
};

}  // namespace q47::capture
