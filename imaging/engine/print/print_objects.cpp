// Settings and context tables, and printer settings to and from QPrinter.
#include "imaging/engine/print/print_objects.h"

#include <QGuiApplication>
#include <QPageSize>
#include <algorithm>
#include <map>
#include <mutex>

namespace q47::ik::print {

namespace {

std::mutex g_mutex;
std::map<uint32_t, DevModePtr> g_devModes;
std::map<uintptr_t, DcPtr> g_dcs;
uint32_t g_lastHandle = 0;

uint32_t nextHandle() {
    if (++g_lastHandle == 0) ++g_lastHandle;
    return g_lastHandle;
}

// Paper codes of the settings record (the Windows printer-settings codes) and their page
// sizes. 12 and 13 are the Japanese B sizes (257 x 364 and 182 x 257 mm), not ISO B.
struct Paper { int16_t code; QPageSize::PageSizeId id; };
constexpr Paper kPapers[] = {{1, QPageSize::Letter},   {3, QPageSize::Tabloid},   {4, QPageSize::Ledger},
                             {5, QPageSize::Legal},    {6, QPageSize::Statement}, {7, QPageSize::Executive},
                             {8, QPageSize::A3},       {9, QPageSize::A4},        {11, QPageSize::A5},
                             {12, QPageSize::JisB4},   {13, QPageSize::JisB5},    {20, QPageSize::Comm10E},
                             {27, QPageSize::DLE},     {28, QPageSize::C5E},      {70, QPageSize::A6}};

int resolutionOf(int16_t quality) {
    switch (quality) {
        case -1: return 150;
        case -2: return 300;
        case -4: return 1200;
        case -3: case 0: return 600;
        default: return std::clamp<int>(quality, 72, 2400);
    }
}

}  // namespace

uint32_t addDevMode(DevModePtr devMode) {
    std::lock_guard lock(g_mutex);
    const uint32_t h = nextHandle();
    g_devModes[h] = std::move(devMode);
    return h;
}

DevModePtr findDevMode(uint32_t handle) {
    std::lock_guard lock(g_mutex);
    auto it = g_devModes.find(handle);
    return it == g_devModes.end() ? nullptr : it->second;
}

bool removeDevMode(uint32_t handle) {
    std::lock_guard lock(g_mutex);
    return g_devModes.erase(handle) != 0;
}

uintptr_t addDc(DcPtr dc) {
    std::lock_guard lock(g_mutex);
    const uintptr_t h = nextHandle();
    g_dcs[h] = std::move(dc);
    return h;
}

DcPtr findDc(uintptr_t handle) {
    std::lock_guard lock(g_mutex);
    auto it = g_dcs.find(handle);
    return it == g_dcs.end() ? nullptr : it->second;
}

DcPtr removeDc(uintptr_t handle) {
    std::lock_guard lock(g_mutex);
    auto it = g_dcs.find(handle);
    if (it == g_dcs.end()) return nullptr;
    DcPtr dc = it->second;
    g_dcs.erase(it);
    return dc;
}

IKPrintSettings clampSettings(IKPrintSettings s) {
    s.orientation = s.orientation == 2 ? 2 : 1;
    s.zoom = std::clamp<int16_t>(s.zoom, 1, 1000);
    s.copies = std::clamp<int16_t>(s.copies, 1, 999);
    s.colorMode = std::clamp<int16_t>(s.colorMode, 1, 2);
    s.duplex = std::clamp<int16_t>(s.duplex, 1, 3);
    return s;
}

IKPrintSettings settingsOf(const QPrinter& printer) {
    IKPrintSettings s{};
    s.orientation = printer.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
    s.paperSize = paperCode(printer.pageLayout().pageSize());
    s.zoom = 100;
    s.copies = static_cast<int16_t>(std::max(1, printer.copyCount()));
    const int source = printer.paperSource();
    s.paperBin = source == QPrinter::Cassette ? 14 : source == QPrinter::FormSource ? 15
                                                                                : static_cast<int16_t>(source + 1);
    s.printQuality = 0;
    s.colorMode = printer.colorMode() == QPrinter::Color ? 2 : 1;
    s.duplex = printer.duplex() == QPrinter::DuplexLongSide ? 2 : printer.duplex() == QPrinter::DuplexShortSide ? 3 : 1;
    s.collate = printer.collateCopies() ? 1 : 0;
    return s;
}

int16_t paperCode(const QPageSize& page) {
    for (const Paper& p : kPapers)
        if (page.id() == p.id) return p.code;
    return kOwnPaper;
}

void applySettings(const IKPrintSettings& raw, QPrinter* printer, const QPageSize& ownPaper) {
    const IKPrintSettings s = clampSettings(raw);
    // A code of the table is its size; any other code (the printer's own paper, or one
    // this table does not list) keeps the paper the settings were read with, or else the
    // printer's: never a silent A4.
    QPageSize page = ownPaper;
    for (const Paper& p : kPapers)
        if (s.paperSize == p.code) page = QPageSize(p.id);
    if (page.isValid()) printer->setPageSize(page);
    printer->setPageOrientation(s.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer->setCopyCount(s.copies);
    printer->setCollateCopies(s.collate != 0);
    if (s.paperBin >= 1 && s.paperBin <= 11)
        printer->setPaperSource(static_cast<QPrinter::PaperSource>(s.paperBin - 1));
    else if (s.paperBin == 14)
        printer->setPaperSource(QPrinter::Cassette);
    else if (s.paperBin == 15)
        printer->setPaperSource(QPrinter::FormSource);
    printer->setResolution(resolutionOf(s.printQuality));
    printer->setColorMode(s.colorMode == 2 ? QPrinter::Color : QPrinter::GrayScale);
    printer->setDuplex(s.duplex == 2 ? QPrinter::DuplexLongSide
                       : s.duplex == 3 ? QPrinter::DuplexShortSide
                                       : QPrinter::DuplexNone);
}

bool haveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace q47::ik::print
