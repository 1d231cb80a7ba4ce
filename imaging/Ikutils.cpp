// Ikutils: QImage conversions, Qt clipboard and file dialogs lent to the engine.
#include "imaging/Ikutils.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <cstdlib>
#include <cstring>

#include "imaging/Ikdllprocs.h"
#include "imaging/file_type_provider.h"

TClipRecord g_Clip;

namespace Ikutils {

QList<QRgb> CreateBIPalette(const q47::dib::BitmapInfoHeader* header, size_t size) {
    QList<QRgb> colours;
    q47::dib::View v;
    if (!header || !q47::dib::parse(reinterpret_cast<const uint8_t*>(header), size, &v)) return colours;
    for (size_t i = 0; i < v.paletteCount; ++i)
        colours.push_back(qRgb(v.palette[i].rgbRed, v.palette[i].rgbGreen, v.palette[i].rgbBlue));
    return colours;
}

QImage dibToQImage(const uint8_t* dib, size_t size) {
    q47::dib::View v;
    if (!q47::dib::parse(dib, size, &v)) return {};
    const int bits = v.header->biBitCount;
    QImage img;
    if (bits == 1 || bits == 8) {
        img = QImage(v.width, v.height, bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
        QList<QRgb> colours = CreateBIPalette(v.header, size);
        while (colours.size() < (1 << bits)) colours.push_back(qRgb(0, 0, 0));
        img.setColorTable(colours);
        const size_t bytes = (static_cast<size_t>(v.width) * bits + 7) / 8;
        for (int y = 0; y < v.height; ++y) std::memcpy(img.scanLine(y), v.rowFromTop(y), bytes);
    } else if (bits == 4) {
        img = QImage(v.width, v.height, QImage::Format_Indexed8);
        QList<QRgb> colours = CreateBIPalette(v.header, size);
        while (colours.size() < 16) colours.push_back(qRgb(0, 0, 0));
        img.setColorTable(colours);
        for (int y = 0; y < v.height; ++y) {
            const uint8_t* s = v.rowFromTop(y);
            uchar* d = img.scanLine(y);
            for (int x = 0; x < v.width; ++x) d[x] = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
        }
    } else if (bits == 24) {
        img = QImage(v.width, v.height, QImage::Format_BGR888);
        // Qt's BGR888 keeps the bytes in the DIB's own order: blue, green, red.
        for (int y = 0; y < v.height; ++y)
            std::memcpy(img.scanLine(y), v.rowFromTop(y), static_cast<size_t>(v.width) * 3);
        img = img.convertToFormat(QImage::Format_RGB32);
    } else if (bits == 32) {
        img = QImage(v.width, v.height, QImage::Format_RGB32);
        for (int y = 0; y < v.height; ++y) std::memcpy(img.scanLine(y), v.rowFromTop(y), static_cast<size_t>(v.width) * 4);
    } else if (bits == 16) {
        img = QImage(v.width, v.height, QImage::Format_RGB555);
        for (int y = 0; y < v.height; ++y) std::memcpy(img.scanLine(y), v.rowFromTop(y), static_cast<size_t>(v.width) * 2);
        img = img.convertToFormat(QImage::Format_RGB32);
    }
    const int xppm = v.header->biXPelsPerMeter, yppm = v.header->biYPelsPerMeter;
    if (!img.isNull() && xppm > 0 && yppm > 0) img.setDotsPerMeterX(xppm), img.setDotsPerMeterY(yppm);
    return img;
}

std::vector<uint8_t> qimageToDib(const QImage& src) {
    if (src.isNull() || src.width() <= 0 || src.height() <= 0) return {};
    const int w = src.width(), h = src.height();
    const int dpiX = qRound(src.dotsPerMeterX() * 0.0254), dpiY = qRound(src.dotsPerMeterY() * 0.0254);
    std::vector<uint8_t> dib;
    auto setDpi = [&]() {
        auto* hdr = reinterpret_cast<q47::dib::BitmapInfoHeader*>(dib.data());
        hdr->biXPelsPerMeter = dpiX > 0 ? q47::dib::dpiToPelsPerMeter(dpiX) : 0;
        hdr->biYPelsPerMeter = dpiY > 0 ? q47::dib::dpiToPelsPerMeter(dpiY) : 0;
    };
    const bool mono = src.format() == QImage::Format_Mono || src.format() == QImage::Format_MonoLSB;
    if (mono || src.format() == QImage::Format_Indexed8) {
        const QImage img = mono ? src.convertToFormat(QImage::Format_Mono) : src;
        const int bits = mono ? 1 : 8;
        dib = q47::dib::make(w, h, bits, 1 << bits);
        if (dib.empty()) return dib;
        auto* pal = reinterpret_cast<q47::dib::RgbQuad*>(dib.data() + 40);
        const auto table = img.colorTable();
        for (int i = 0; i < table.size() && i < (1 << bits); ++i)
            pal[i] = q47::dib::RgbQuad{static_cast<uint8_t>(qBlue(table[i])), static_cast<uint8_t>(qGreen(table[i])),
                                       static_cast<uint8_t>(qRed(table[i])), 0};
        const size_t stride = q47::dib::rowStride(w, bits), bytes = (static_cast<size_t>(w) * bits + 7) / 8;
        uint8_t* pixels = dib.data() + 40 + 4 * (1 << bits);
        for (int y = 0; y < h; ++y) std::memcpy(pixels + stride * (h - 1 - y), img.constScanLine(y), bytes);
    } else {
        const QImage img = src.convertToFormat(QImage::Format_RGB32);
        dib = q47::dib::make(w, h, 24);
        if (dib.empty()) return dib;
        const size_t stride = q47::dib::rowStride(w, 24);
        uint8_t* pixels = dib.data() + 40;
        for (int y = 0; y < h; ++y) {
            const auto* s = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            uint8_t* d = pixels + stride * (h - 1 - y);
            for (int x = 0; x < w; ++x)
                d[3 * x] = static_cast<uint8_t>(qBlue(s[x])), d[3 * x + 1] = static_cast<uint8_t>(qGreen(s[x])),
                d[3 * x + 2] = static_cast<uint8_t>(qRed(s[x]));
        }
    }
    setDpi();
    return dib;
}

IKWINDOW windowOf(QObject* owner) {
    for (QObject* o = owner; o; o = o->parent())
        if (o->isWidgetType()) return reinterpret_cast<IKWINDOW>(static_cast<QWidget*>(o));
    return 0;
}

namespace {

QWidget* widgetOf(IKWINDOW window) { return reinterpret_cast<QWidget*>(window); }

QClipboard* clipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

IKBOOL setClipboardImage(IKWINDOW, const void* dib, uint32_t size) {
    QClipboard* cb = clipboard();
    const QImage img = dibToQImage(static_cast<const uint8_t*>(dib), size);
    if (!cb || img.isNull()) return 0;
    cb->setImage(img);
    return 1;
}

void* getClipboardImage(IKWINDOW, uint32_t* size) {
    QClipboard* cb = clipboard();
    if (!cb) return nullptr;
    const std::vector<uint8_t> dib = qimageToDib(cb->image());
    if (dib.empty()) return nullptr;
    void* copy = std::malloc(dib.size());
    if (!copy) return nullptr;
    std::memcpy(copy, dib.data(), dib.size());
    *size = static_cast<uint32_t>(dib.size());
    return copy;
}

void freeClipboardImage(void* dib) { std::free(dib); }

IKBOOL clearClipboard(IKWINDOW) {
    QClipboard* cb = clipboard();
    if (!cb) return 0;
    cb->clear();
    return 1;
}

IKBOOL clipboardHasImage(IKWINDOW) {
    QClipboard* cb = clipboard();
    return cb && cb->mimeData() && cb->mimeData()->hasImage() ? 1 : 0;
}

IKBOOL fileDialog(IKWINDOW window, IKBOOL save, const char* folder, const char* filters, int32_t* selected,
                  IKBOOL preview, char* path, uint32_t capacity) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    QFileDialog dlg(widgetOf(window));
    dlg.setObjectName(save ? "SaveFileDlg" : "OpenFileDlg");
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Qt's own dialog everywhere, so behaviour does not change with the desktop; the
    // preview flag has no counterpart in it.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setIconProvider(q47::nameOnlyFileTypes());
    Q_UNUSED(preview);
    const QStringList list = QString::fromLocal8Bit(filters).split(";;", Qt::SkipEmptyParts);
    dlg.setNameFilters(list);
    if (*selected >= 0 && *selected < list.size()) dlg.selectNameFilter(list[*selected]);
    if (folder && *folder) dlg.setDirectory(QString::fromLocal8Bit(folder));
    if (path && *path) dlg.selectFile(QString::fromLocal8Bit(path));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return 0;
    const QByteArray chosen = dlg.selectedFiles().first().toLocal8Bit();
    if (static_cast<uint32_t>(chosen.size()) + 1 > capacity) return 0;
    std::memcpy(path, chosen.constData(), static_cast<size_t>(chosen.size()) + 1);
    *selected = static_cast<int32_t>(list.indexOf(dlg.selectedNameFilter()));
    return 1;
}

const IKHostServices kServices = {setClipboardImage, getClipboardImage, freeClipboardImage,
                                  clearClipboard,    clipboardHasImage, fileDialog};

}  // namespace

void installHostServices() {
    if (Ikdllprocs::IKSetHostServices) Ikdllprocs::IKSetHostServices(&kServices);
}

void removeHostServices() {
    if (Ikdllprocs::IKSetHostServices) Ikdllprocs::IKSetHostServices(nullptr);
}

void releaseClip() {
    if (g_Clip.Handle && Ikdllprocs::IKFreeMemory) Ikdllprocs::IKFreeMemory(g_Clip.Handle);
    g_Clip = TClipRecord{};
}

}  // namespace Ikutils
