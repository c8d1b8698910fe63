// sntool-gui: the Serial Number Tool's window.

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <cstdio>

#include "app/vexlo_app.h"
#include "protocol/serial.h"

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
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Production log (CSV): a row for every pager goes to the first FILE; a "
                       "serial number any FILE records as written is refused. Repeatable."),
        QStringLiteral("FILE"));
    const QCommandLineOption nextFrom(
        QStringLiteral("next-from"),
        QStringLiteral("Offer SERIAL for the first pager, and after each write the number "
                       "with its last digits counted up."),
        QStringLiteral("SERIAL"));
    const QCommandLineOption enterWrites(
        QStringLiteral("enter-writes"),
        QStringLiteral("Enter in a field of ten characters writes (for a barcode scanner)."));
    const QCommandLineOption db(
        QStringLiteral("db"),
        QStringLiteral("The production ledger is this database (an ODBC connection string or "
                       "DSN=NAME), shared by the stations of a line; --log keeps a record only."),
        QStringLiteral("CONNECTION"));
    const QCommandLineOption dbPasswordFile(
        QStringLiteral("db-password-file"),
        QStringLiteral("The database password: the first line of FILE."), QStringLiteral("FILE"));
    const QCommandLineOption operatorName(
        QStringLiteral("operator"),
        QStringLiteral("The operator recorded in every row (default: the user logged in)."),
        QStringLiteral("NAME"));
    parser.addOptions(
        {port, simulate, log, db, dbPasswordFile, operatorName, nextFrom, enterWrites});
    parser.process(qapp);
    if (parser.isSet(port) && parser.isSet(simulate)) {
        parser.showHelp(2);
    }
    const std::string first = parser.value(nextFrom).toStdString();
    if (parser.isSet(nextFrom) && !sn::Serial::Parse(first)) {
        std::fprintf(stderr, "sntool-gui: --next-from %s\n", sn::Serial::Problem(first).c_str());
        return 2;
    }

    sn::app::AppOptions options;
    options.port = parser.value(port).toStdString();
    options.simulate = parser.isSet(simulate);
    for (const QString& file : parser.values(log)) {
        options.production.logs.push_back(file.toStdString());
    }
    if (parser.isSet(nextFrom)) {
        options.production.nextFrom = sn::Serial::Parse(first);
    }
    options.production.db = parser.value(db).toStdString();
    options.production.dbPasswordFile = parser.value(dbPasswordFile).toStdString();
    if (parser.isSet(operatorName)) {
        options.production.operatorName = parser.value(operatorName).toStdString();
    }
    options.production.enterWrites = parser.isSet(enterWrites);
    sn::app::CVexloApp app(std::move(options));
    if (!app.InitInstance()) {
        QMessageBox::critical(nullptr, QStringLiteral("Serial Number Tool"),
                              QString::fromStdString(app.StartError()));
        return 1;
    }
    const int code = QApplication::exec();
    app.Shutdown();
    return code;
}
