// q47uty: the Q-47 maintenance utility (board settings, clock, firmware update, test image).
#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdio>

#include "platform/paths.h"
#include "utility/view/utility_window.h"

using namespace q47;
using namespace q47::utility;

namespace {

// One utility per user: a second start asks the first to come to the front and ends.
QString instanceName() {
    return QString("q47uty-%1").arg(::getuid());
}

bool activateFirstInstance() {
    QLocalSocket s;
    s.connectToServer(instanceName());
    if (!s.waitForConnected(500)) return false;
    s.write("raise\n");
    s.waitForBytesWritten(500);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("q47uty");
    if (activateFirstInstance()) return 0;

    const auto settings = paths::settingsFolder(paths::programFolder(), kLanguageFileName);
    // First start: the English language file and help page become the current ones.
    std::error_code ec;
    for (const char* name : {kLanguageFileName, kHelpFileName})
        if (!std::filesystem::exists(settings / name))
            std::filesystem::copy_file(paths::languageFolder(settings, "ENG") / name,
                                       settings / name, ec);
    UtilityTexts texts;
    texts.loadTexts((settings / kLanguageFileName).string(), true);

    UtilityWindow window({settings, ""}, texts);
    QLocalServer server;
    QLocalServer::removeServer(instanceName());
    server.listen(instanceName());
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* c = server.nextPendingConnection()) {
            c->deleteLater();
            window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
            window.show();
            window.raise();
            window.activateWindow();
        }
    });
    window.initialise();
    window.show();
    window.exec();
    return 0;
}
