// libIk6Print entries: printers and their settings, device contexts and jobs, the print
// dialog, image output and the paper size.
#include <QApplication>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <cups/cups.h>

#include <cstring>
#include <mutex>
#include <string>

#include "imaging/engine/core/entry_guard.h"
#include "imaging/engine/print/draw_target.h"
#include "imaging/engine/print/print_objects.h"

using namespace q47::ik;
using namespace q47::ik::print;

namespace {

std::mutex g_fileMutex;
std::string g_printFile;  // IKSetPrint: offered when the user prints to a file

constexpr size_t kBuffer = 2048;

// A printer for a settings record: the named (or default) printer, or a PDF file.
std::unique_ptr<QPrinter> makePrinter(const std::string& name, const std::string& file) {
    QPrinterInfo info = name.empty() ? QPrinterInfo::defaultPrinter()
                                     : QPrinterInfo::printerInfo(QString::fromLocal8Bit(name.c_str()));
    std::unique_ptr<QPrinter> printer;
    if (!info.isNull()) {
        printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    } else {
        if (file.empty() || !name.empty()) return nullptr;
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    if (!file.empty() && info.isNull()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromLocal8Bit(file.c_str()));
    }
    return printer;
}

uintptr_t contextFor(std::unique_ptr<QPrinter> printer, const IKPrintSettings* settings,
                     const QPageSize& ownPaper = QPageSize()) {
    auto dc = std::make_shared<DeviceContext>();
    if (settings) {
        applySettings(*settings, printer.get(), ownPaper);
        dc->zoom = clampSettings(*settings).zoom / 100.0;
    } else {
        printer->setResolution(600);
    }
    dc->printer = std::move(printer);
    return addDc(std::move(dc));
}

DcPtr printerContext(uintptr_t handle) {
    DcPtr dc = findDc(handle);
    if (!dc || !dc->printer) return fail<DcPtr>(IK_ERR_ARGUMENT);
    return dc;
}

void endPainter(DeviceContext& dc) {
    if (dc.painter && dc.painter->isActive()) dc.painter->end();
    dc.painter.reset();
    dc.inPage = false;
}

}  // namespace

extern "C" {

int32_t IKEnumPrinters(char* buffer, int32_t* defaultIndex) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!buffer || !defaultIndex) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        if (!haveGuiApplication()) return fail<int32_t>(IK_ERR_NO_HOST, 0);
        const QStringList names = QPrinterInfo::availablePrinterNames();
        const QString def = QPrinterInfo::defaultPrinterName();
        std::string text;
        *defaultIndex = -1;
        int listed = 0;
        for (const QString& n : names) {
            const std::string entry = n.toLocal8Bit().toStdString() + ",";
            if (text.size() + entry.size() + 1 > kBuffer) break;  // whole names only
            if (n == def) *defaultIndex = listed;
            text += entry;
            ++listed;
        }
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return 1;
    });
}

int32_t IKGetPrinterPort(const char* printer, char* buffer) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!buffer) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        buffer[0] = '\0';
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer && *printer ? printer : nullptr, nullptr);
        if (!dest) return fail<int32_t>(IK_ERR_PRINT_NO_PRINTER, 0);
        const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
        if (!uri) uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options);
        const std::string port = uri ? uri : "";
        cupsFreeDests(1, dest);
        std::memcpy(buffer, port.c_str(), std::min(port.size(), kBuffer - 1));
        buffer[std::min(port.size(), kBuffer - 1)] = '\0';
        return 1;
    });
}

IKDEVMODE IKGetDevModeHandle(const char* printer, const char* fileName) {
    return guarded<IKDEVMODE>(0, [&]() -> IKDEVMODE {
        if (!haveGuiApplication()) return fail<IKDEVMODE>(IK_ERR_NO_HOST);
        auto dm = std::make_shared<DevMode>();
        dm->printer = printer ? printer : "";
        dm->fileName = fileName ? fileName : "";
        std::unique_ptr<QPrinter> p = makePrinter(dm->printer, dm->fileName);
        if (!p) return fail<IKDEVMODE>(IK_ERR_PRINT_NO_PRINTER);
        if (dm->printer.empty() && p->outputFormat() == QPrinter::NativeFormat)
            dm->printer = p->printerName().toLocal8Bit().toStdString();
        dm->settings = settingsOf(*p);
        dm->paper = p->pageLayout().pageSize();
        return addDevMode(std::move(dm));
    });
}

int32_t IKReleaseDevModeHandle(IKDEVMODE devMode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        return removeDevMode(devMode) ? 1 : fail<int32_t>(IK_ERR_ARGUMENT, 0);
    });
}

int32_t IKGetDevModeInfo(IKDEVMODE devMode, IKPrintSettings* settings) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DevModePtr dm = findDevMode(devMode);
        if (!dm || !settings) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        *settings = dm->settings;
        return 1;
    });
}

int32_t IKSetDevModeInfo(IKDEVMODE devMode, const IKPrintSettings* settings) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DevModePtr dm = findDevMode(devMode);
        if (!dm || !settings) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        dm->settings = clampSettings(*settings);
        return 1;
    });
}

uintptr_t IKPrintDlg(uintptr_t window, IKDEVMODE devMode, IKPrintDialogRecord* record) {
    return guarded<uintptr_t>(0, [&]() -> uintptr_t {
        if (!record) return fail<uintptr_t>(IK_ERR_ARGUMENT);
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return fail<uintptr_t>(IK_ERR_NO_HOST);
        DevModePtr dm = devMode ? findDevMode(devMode) : nullptr;
        if (devMode && !dm) return fail<uintptr_t>(IK_ERR_ARGUMENT);
        std::string file;
        {
            std::lock_guard lock(g_fileMutex);
            file = g_printFile;
        }
        std::unique_ptr<QPrinter> printer = makePrinter(dm ? dm->printer : "", dm ? dm->fileName : file);
        if (!printer) printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (dm) applySettings(dm->settings, printer.get(), dm->paper);
        printer->setCopyCount(std::max<int>(1, record->copies));
        printer->setCollateCopies(record->collate != 0);
        // The window is the host's widget (the component layer passes a QWidget*).
        QPrintDialog dialog(printer.get(), reinterpret_cast<QWidget*>(window));
        QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintCollateCopies |
                                                           QAbstractPrintDialog::PrintShowPageSize;
        if (!(record->flags & IK_PD_HIDEPRINTTOFILE)) options |= QAbstractPrintDialog::PrintToFile;
        if (!(record->flags & IK_PD_NOPAGENUMS)) options |= QAbstractPrintDialog::PrintPageRange;
        if (!(record->flags & IK_PD_NOSELECTION)) options |= QAbstractPrintDialog::PrintSelection;
        if (record->flags & IK_PD_DISABLEPRINTTOFILE) options &= ~QAbstractPrintDialog::PrintToFile;
        dialog.setOptions(options);
        if (record->maxPage > 0) dialog.setMinMax(std::max<int>(1, record->minPage), record->maxPage);
        if (record->fromPage > 0 && record->toPage >= record->fromPage)
            printer->setFromTo(record->fromPage, record->toPage);
        dialog.setPrintRange(record->printRange == 1   ? QAbstractPrintDialog::Selection
                             : record->printRange == 2 ? QAbstractPrintDialog::PageRange
                                                       : QAbstractPrintDialog::AllPages);
        if (dialog.exec() != QDialog::Accepted) return fail<uintptr_t>(IK_ERR_CANCELLED);
        record->collate = printer->collateCopies() ? 1 : 0;
        record->copies = static_cast<int16_t>(printer->copyCount());
        record->fromPage = static_cast<int16_t>(printer->fromPage());
        record->toPage = static_cast<int16_t>(printer->toPage());
        record->printRange = static_cast<int16_t>(dialog.printRange() == QAbstractPrintDialog::Selection   ? 1
                                                  : dialog.printRange() == QAbstractPrintDialog::PageRange ? 2
                                                                                                           : 0);
        record->printToFile = printer->outputFileName().isEmpty() ? 0 : 1;
        IKPrintSettings chosen = settingsOf(*printer);
        if (dm) {
            chosen.zoom = dm->settings.zoom;  // not in the dialog: kept
            chosen.printQuality = dm->settings.printQuality;
            dm->settings = chosen;
            dm->paper = printer->pageLayout().pageSize();
            dm->printer = printer->printerName().toLocal8Bit().toStdString();
        }
        const QPageSize chosenPaper = printer->pageLayout().pageSize();
        return contextFor(std::move(printer), &chosen, chosenPaper);
    });
}

uintptr_t IKPrintCreateDC(const char* printer, const char* fileName, IKDEVMODE devMode, int32_t mode) {
    return guarded<uintptr_t>(0, [&]() -> uintptr_t {
        if (!haveGuiApplication()) return fail<uintptr_t>(IK_ERR_NO_HOST);
        DevModePtr dm = devMode ? findDevMode(devMode) : nullptr;
        if (devMode && !dm) return fail<uintptr_t>(IK_ERR_ARGUMENT);
        const std::string name = printer ? printer : "";
        const std::string file = fileName ? fileName : "";
        std::unique_ptr<QPrinter> p;
        switch (mode) {
            case IK_PRINT_BY_NAME: p = makePrinter(name, ""); break;
            case IK_PRINT_TO_FILE:
                if (file.empty()) return fail<uintptr_t>(IK_ERR_ARGUMENT);
                p = std::make_unique<QPrinter>(QPrinter::HighResolution);
                p->setOutputFormat(QPrinter::PdfFormat);
                p->setOutputFileName(QString::fromLocal8Bit(file.c_str()));
                break;
            case IK_PRINT_BY_SETTINGS:
                if (!dm) return fail<uintptr_t>(IK_ERR_ARGUMENT);
                p = makePrinter(dm->printer, dm->fileName);
                break;
            default: return fail<uintptr_t>(IK_ERR_ARGUMENT);
        }
        if (!p) return fail<uintptr_t>(IK_ERR_PRINT_NO_PRINTER);
        return contextFor(std::move(p), dm ? &dm->settings : nullptr, dm ? dm->paper : QPageSize());
    });
}

int32_t IKPrintDeleteDC(uintptr_t handle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = removeDc(handle);
        if (!dc) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        // A job still open is abandoned, not half printed.
        if (dc->painter) {
            dc->printer->abort();
            endPainter(*dc);
        }
        return 1;
    });
}

int32_t IKSetPrint(uintptr_t, const char* fileName) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        std::lock_guard lock(g_fileMutex);
        g_printFile = fileName ? fileName : "";
        return 1;
    });
}

int32_t IKPrintStartDoc(uintptr_t handle, uintptr_t, const char*, const char*, const char*, const char* docName) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = printerContext(handle);
        if (!dc) return 0;
        if (dc->painter) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        dc->printer->setDocName(QString::fromLocal8Bit(docName ? docName : ""));
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(dc->printer.get())) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        painter->scale(dc->zoom, dc->zoom);
        dc->painter = std::move(painter);
        dc->pages = 0;
        return 1;
    });
}

int32_t IKPrintStartPage(uintptr_t handle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = printerContext(handle);
        if (!dc) return 0;
        if (!dc->painter || dc->inPage) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        // The first page is the one the job began with.
        if (dc->pages > 0 && !dc->printer->newPage()) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        dc->inPage = true;
        ++dc->pages;
        return 1;
    });
}

int32_t IKPrintEndPage(uintptr_t handle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = printerContext(handle);
        if (!dc) return 0;
        if (!dc->inPage) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        dc->inPage = false;
        return 1;
    });
}

int32_t IKPrintEndDoc(uintptr_t handle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = printerContext(handle);
        if (!dc) return 0;
        if (!dc->painter || dc->inPage) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        const bool ok = dc->painter->end();
        endPainter(*dc);
        return ok ? 1 : fail<int32_t>(IK_ERR_PRINT_JOB, 0);
    });
}

int32_t IKPrintAbortDoc(uintptr_t handle) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = printerContext(handle);
        if (!dc) return 0;
        if (!dc->painter) return fail<int32_t>(IK_ERR_PRINT_JOB, 0);
        dc->printer->abort();
        endPainter(*dc);
        return 1;
    });
}

int32_t IKGetPaperSize(uintptr_t handle, int32_t* area, int32_t* paperWidth, int32_t* paperHeight, uint8_t unit) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        DcPtr dc = findDc(handle);
        if (!dc || !area || unit > IK_PAPER_POINTS) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        QRectF paper, page;
        double dpi = 96, zoom = 1.0;
        if (dc->printer && unit != IK_PAPER_DOTS) {
            // Lengths from the page layout itself, not rounded through printer dots.
            const QPageLayout layout = dc->printer->pageLayout();
            const QPageLayout::Unit u = unit == IK_PAPER_POINTS ? QPageLayout::Point
                                        : unit == IK_PAPER_TENTH_MM ? QPageLayout::Millimeter
                                                                    : QPageLayout::Inch;
            const double factor = unit == IK_PAPER_TENTH_MM ? 10.0 : unit == IK_PAPER_HUNDREDTH_INCH ? 100.0 : 1.0;
            paper = layout.fullRect(u);
            page = layout.paintRect(u);
            paper = QRectF(paper.topLeft() * factor, paper.size() * factor);
            page = QRectF(page.topLeft() * factor, page.size() * factor);
            dpi = 0;
        } else if (dc->printer) {
            paper = dc->printer->paperRect(QPrinter::DevicePixel);
            page = dc->printer->pageRect(QPrinter::DevicePixel);
            zoom = dc->zoom;
        } else {
            paper = page = QRectF(0, 0, dc->picture.width(), dc->picture.height());
            if (dc->picture.dotsPerMeterX() > 0) dpi = dc->picture.dotsPerMeterX() * 0.0254;
        }
        // Dots into the unit asked for (dpi 0: the values are in that unit already).
        auto convert = [&](double dots) -> int32_t {
            if (dpi == 0) return static_cast<int32_t>(std::lround(dots));
            switch (unit) {
                case IK_PAPER_TENTH_MM: return static_cast<int32_t>(std::lround(dots / dpi * 254.0));
                case IK_PAPER_HUNDREDTH_INCH: return static_cast<int32_t>(std::lround(dots / dpi * 100.0));
                case IK_PAPER_POINTS: return static_cast<int32_t>(std::lround(dots / dpi * 72.0));
                default: return static_cast<int32_t>(std::lround(dots / zoom));
            }
        };
        area[0] = convert(page.left() - paper.left());
        area[1] = convert(page.top() - paper.top());
        area[2] = convert(page.width());
        area[3] = convert(page.height());
        if (paperWidth) *paperWidth = convert(paper.width());
        if (paperHeight) *paperHeight = convert(paper.height());
        return 1;
    });
}

int32_t IKImageOut(uintptr_t target, uint32_t image, const int32_t* rect, int32_t keepAspect, int32_t smooth,
                   int32_t deviceMode) {
    return guarded<int32_t>(0, [&]() -> int32_t {
        if (!rect) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        ObjectPtr source = findRaster(image);
        if (!source) return 0;
        const QImage picture = toPicture(source->image);  // a copy: the target may be the same image
        QRect box(QPoint(rect[0], rect[1]), QPoint(rect[2] - 1, rect[3] - 1));
        if (box.width() <= 0 || box.height() <= 0) return fail<int32_t>(IK_ERR_ARGUMENT, 0);
        if (keepAspect) {
            const QSize fitted = picture.size().scaled(box.size(), Qt::KeepAspectRatio);
            box = QRect(box.left() + (box.width() - fitted.width()) / 2,
                        box.top() + (box.height() - fitted.height()) / 2, fitted.width(), fitted.height());
        }
        DrawTarget t;
        if (!t.open(target, deviceMode)) return 0;
        t.painter().setRenderHint(QPainter::SmoothPixmapTransform, smooth != 0);
        t.painter().drawImage(box, picture);
        return 1;
    });
}

int32_t IKImageOutToHwnd(uintptr_t, uint32_t, uint32_t, int32_t, int32_t) {
    // The engine reaches no window system; hosts draw through a preview context.
    return fail<int32_t>(IK_ERR_PRINT_NO_WINDOW, 0);
}

uint32_t IKGetImageFromHdc(uintptr_t handle, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return guarded<uint32_t>(0, [&]() -> uint32_t {
        DcPtr dc = findDc(handle);
        if (!dc) return fail<uint32_t>(IK_ERR_ARGUMENT);
        if (dc->printer) return fail<uint32_t>(IK_ERR_PRINT_READBACK);
        QRect r(0, 0, dc->picture.width(), dc->picture.height());
        if (left || top || right || bottom) r = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(r);
        if (r.isEmpty()) return fail<uint32_t>(IK_ERR_ARGUMENT);
        const QImage part = dc->picture.copy(r);
        DibImage out = DibImage::create(part.width(), part.height(), 24);
        if (out.empty()) return fail<uint32_t>(IK_ERR_MEMORY);
        writeBack(part, &out);
        return addRaster(std::move(out));
    });
}

uintptr_t IKPreviewInit(int32_t width, int32_t height) {
    return guarded<uintptr_t>(0, [&]() -> uintptr_t {
        if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return fail<uintptr_t>(IK_ERR_ARGUMENT);
        auto dc = std::make_shared<DeviceContext>();
        dc->picture = QImage(width, height, QImage::Format_RGB32);
        if (dc->picture.isNull()) return fail<uintptr_t>(IK_ERR_MEMORY);
        dc->picture.fill(Qt::white);
        return addDc(std::move(dc));
    });
}

}  // extern "C"
