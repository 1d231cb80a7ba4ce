// Icons and type names for Qt's file dialogs, worked out from names alone.
//
// Qt's own provider asks the MIME database about every file it lists, and for a file
// whose name does not tell, the database opens the file and reads its first bytes. A FIFO,
// a character device or a kernel file such as /proc/kmsg never answers that read, so a
// dialog that merely lists such a folder froze the whole program (seen in a test run). The
// file dialogs here only need a file's kind, which its name gives well enough.
#pragma once

#include <QAbstractFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

namespace q47 {

class NameOnlyFileTypes : public QAbstractFileIconProvider {
  public:
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }

    QIcon icon(const QFileInfo& info) const override {
        if (info.isDir()) return icon(Folder);
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        const QIcon themed = QIcon::fromTheme(mime.iconName());
        return themed.isNull() ? icon(File) : themed;
    }

    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QStringLiteral("Folder");
        if (!info.isFile()) return QStringLiteral("Special file");  // FIFO, socket, device
        return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
    }
};

// One provider for every dialog of the process; Qt keeps a pointer, never ownership.
inline NameOnlyFileTypes* nameOnlyFileTypes() {
    static NameOnlyFileTypes provider;
    return &provider;
}

}  // namespace q47
