// Printing the composite: Print1Click and PrintImage through the print component.
#include "capture/image_window.h"

#include "capture/capture_state.h"
#include "capture/image_window_impl.h"
#include "capture/sheet_image.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikprint.h"

namespace q47::capture {

void TfrmImg::Print1Click() {
    if (!d_->sheet) return;
    IKHANDLE merged = mergeLayers();
    if (!merged) {
        ask(settings_.MsgPrintErr, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (composite_ && TheCaptureState().largeSheet) {
        const Size size = aspect_ == SheetAspect::TwoThirds ? Size{1500, 1000} : Size{2000, 1000};
        const IKHANDLE resized = ResizedCopy(merged, size.width, size.height);
        if (resized) {
            Ikdllprocs::IKFreeMemory(merged);
            merged = resized;
        }
    }
    PrintImage(merged);
    Ikdllprocs::IKFreeMemory(merged);
}

int TfrmImg::PrintImage(IKHANDLE image) {
    TVIkPrint& print = *VIkPrint1;
    if (print.EnumPrinters() && print.DefaultPrinterIndex >= 0 &&
        print.DefaultPrinterIndex < print.PrinterList.size())
        print.setPrinterName(print.PrinterList.at(print.DefaultPrinterIndex));
    if (!print.GetDevModeHandle() || !print.GetDevModeInfo()) return 0;
    print.Orientation = poLandscape;
    if (!print.SetDevModeInfo()) return 0;
    if (!print.PrintDlg()) return 0;
    print.DocName = "SlateWise";
    int32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    print.GetPaperSize(print.PrinterDC, a, b, c, d, e, f, 1);
    if (!print.PrintStartDoc() || !print.PrintStartPage()) {
        print.PrintDeleteDC();
        return 7;
    }
    print.ImageOut(print.PrinterDC, image, 100, 100, c - 100, d - 100, true, false, vikPrinter);
    print.PrintEndPage();
    print.PrintEndDoc();
    print.PrintDeleteDC();
    return 0;
}

}  // namespace q47::capture
