// The print library's two tables (printer settings, device contexts) and the mapping
// between the settings record and a QPrinter.
#pragma once

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/engine/print/ik_print_api.h"

namespace q47::ik::print {

// What a settings handle holds: the printer (empty: printing into fileName as PDF) and
// the settings record.
struct DevMode {
    std::string printer;
    std::string fileName;
    IKPrintSettings settings{};
    QPageSize paper;  // the printer's paper when the settings were read
};
using DevModePtr = std::shared_ptr<DevMode>;

// A printer's job context, or a preview context drawing into a picture.
struct DeviceContext {
    std::unique_ptr<QPrinter> printer;  // null for a preview
    QImage picture;                     // the preview's picture
    std::unique_ptr<QPainter> painter;  // a printer's, between StartDoc and EndDoc
    bool inPage = false;
    int pages = 0;
    double zoom = 1.0;  // drawing units are printer dots at 100 %
};
using DcPtr = std::shared_ptr<DeviceContext>;

uint32_t addDevMode(DevModePtr devMode);
DevModePtr findDevMode(uint32_t handle);
bool removeDevMode(uint32_t handle);
uintptr_t addDc(DcPtr dc);
DcPtr findDc(uintptr_t handle);
DcPtr removeDc(uintptr_t handle);

// The paper code of a page size: its code in the table, else kOwnPaper.
constexpr int16_t kOwnPaper = 256;  // a size of the printer's own (a custom size)
int16_t paperCode(const QPageSize& page);
// The settings a printer starts with.
IKPrintSettings settingsOf(const QPrinter& printer);
// Applies settings (out-of-range values are brought into range first). A paper code the
// table does not hold leaves `ownPaper` (when valid) or the printer's paper in place.
void applySettings(const IKPrintSettings& settings, QPrinter* printer, const QPageSize& ownPaper = QPageSize());
IKPrintSettings clampSettings(IKPrintSettings settings);

// Printers need a Qt GUI application in the process (fonts, the print plugin).
bool haveGuiApplication();

}  // namespace q47::ik::print
