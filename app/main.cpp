// sntool-gui: the Serial Number Tool's window.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include "app/vexlo_app.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Serial Number Tool"));
    QApplication::setApplicationVersion(QStringLiteral(SNTOOL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Gives a Corvel voice pager its serial number through the programming cradle."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The cradle is this tty, present while PATH exists."),
        QStringLiteral("PATH"));
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Use the built-in virtual cradle with a substitute pager."));
    parser.addOption(port);
    parser.addOption(simulate);
    parser.process(qapp);
    if (parser.isSet(port) && parser.isSet(simulate)) {
        parser.showHelp(2);
    }

    sn::app::AppOptions options;
    options.port = parser.value(port).toStdString();
    options.simulate = parser.isSet(simulate);
    sn::app::CVexloApp app(std::move(options));
    if (!app.InitInstance()) {
        QMessageBox::critical(nullptr, QStringLiteral("Serial Number Tool"),
                              QStringLiteral("The virtual cradle could not be started."));
        return 1;
    }
    const int code = QApplication::exec();
    app.Shutdown();
    return code;
}
