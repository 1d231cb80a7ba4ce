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

// Paper codes of the settings record and their page sizes.
struct Paper { int16_t code; QPageSize::PageSizeId id; };
constexpr Paper kPapers[] = {{1, QPageSize::Letter}, {5, QPageSize::Legal}, {7, QPageSize::Executive},
                             {8, QPageSize::A3},     {9, QPageSize::A4},    {11, QPageSize::A5},
                             {12, QPageSize::B4},    {13, QPageSize::B5}};

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
    s.paperSize = 9;
    for (const Paper& p : kPapers)
        if (printer.pageLayout().pageSize().id() == p.id) s.paperSize = p.code;
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

void applySettings(const IKPrintSettings& raw, QPrinter* printer) {
    const IKPrintSettings s = clampSettings(raw);
    QPageSize::PageSizeId id = QPageSize::A4;  // unknown codes print on A4
    for (const Paper& p : kPapers)
        if (s.paperSize == p.code) id = p.id;
    printer->setPageSize(QPageSize(id));
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
