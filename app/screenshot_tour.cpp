// Takes the window through each of its states against pagersim, and saves a
// screenshot of each: run under an X server (scripts/screenshots.sh uses
// Xvfb). Usage: sntool-gui-tour PAGERSIM OUTPUT_DIR

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "app/vexlo_app.h"
#include "ports/serial_comm_dlg.h"
#include "workflow/texts.h"

namespace {

using sn::app::Displayed;

FILE* g_sim = nullptr;

void Sim(const char* command) {
    std::fprintf(g_sim, "%s\n", command);
    std::fflush(g_sim);
    QTest::qWait(150);
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000, int stepMs = 10) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(stepMs);
    }
    return true;
}

QMessageBox* OpenBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

QWidget* g_frame = nullptr;

// Everything on screen that belongs to the program, in one picture, title
// bars included: a dialog or box is set beside the window rather than over
// it, so that both show in full.
void Shot(const QString& dir, const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != g_frame && w->isVisible() && w->isWindow()) {
            w->move(g_frame->frameGeometry().right() + 16, g_frame->frameGeometry().top());
        }
    }
    QTest::qWait(200);
    QRect area;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isWindow()) {
            area = area.united(w->frameGeometry());
        }
    }
    area.adjust(-8, -8, 8, 8);
    const QPixmap pixmap = QGuiApplication::primaryScreen()->grabWindow(
        0, area.x(), area.y(), area.width(), area.height());
    const QString path = dir + "/" + name + ".png";
    std::printf("%s: %s\n", qPrintable(path), pixmap.save(path) ? "saved" : "FAILED");
    std::fflush(stdout);
}

// The operator's counts in the status bar: a journal, one pager written and
// one whose blocks are refused.
bool CountsTour(const QString& out, const QString& link) {
    QTemporaryDir dir;
    sn::app::AppOptions options;
    options.port = link.toStdString();
    options.production.logs = {dir.filePath(QStringLiteral("log.csv")).toStdString()};
    options.production.nextFrom = sn::Serial::Parse("AB12CD0013");
    sn::app::CVexloApp app(std::move(options));
    if (!app.InitInstance()) {
        return false;
    }
    app.Frame()->move(60, 60);
    g_frame = app.Frame();
    auto is = [&](const char* text) {
        return [&, text] { return app.Form()->StatusLabel()->text() == Displayed(text); };
    };
    auto bar = [&] { return app.Frame()->statusBar()->currentMessage(); };
    Sim("reset");
    bool ok = WaitFor(is(sn::text::kClickWrite));
    QTest::mouseClick(app.Form()->WriteButton(), Qt::LeftButton);
    ok &= WaitFor(is(sn::text::kCompleted));
    Sim("numbered off");
    ok &= WaitFor(is(sn::text::kClickWrite));
    Sim("fault write nak always");
    QTest::mouseClick(app.Form()->WriteButton(), Qt::LeftButton);
    ok &= WaitFor([] { return OpenBox() != nullptr; });
    if (QMessageBox* box = OpenBox(); box != nullptr) {
        box->done(QMessageBox::Ok);
    }
    Sim("clear");
    Sim("reset");
    ok &= WaitFor(is(sn::text::kClickWrite));
    ok &= WaitFor([&] { return bar().contains(QStringLiteral("1 numbered, 1 failed")); });
    Shot(out, "status-counts");
    app.Frame()->close();
    app.Shutdown();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: sntool-gui-tour PAGERSIM OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    // A short name, as a cradle's port has one: the port box shows it whole.
    const QString link = QStringLiteral("/tmp/cr0");
    QFile::remove(link);
    const QByteArray command = QByteArray(argv[1]) + " --unplugged --link " + link.toLocal8Bit();
    g_sim = popen(command.constData(), "w");
    if (g_sim == nullptr) {
        return 1;
    }
    QTest::qWait(500);
    QApplication::setApplicationName(QStringLiteral("Serial Number Tool"));

    sn::app::AppOptions options;
    options.port = link.toStdString();
    sn::app::CVexloApp app(std::move(options));
    if (!app.InitInstance()) {
        return 1;
    }
    app.Frame()->move(60, 60);
    g_frame = app.Frame();
    // The window is activated by hand (also after a box has closed), so that
    // focus moves, and the field's focus-loss check runs, as on a desktop,
    // whether a window manager runs or not.
    auto activate = [&] {
        app.Frame()->activateWindow();
        QApplication::setActiveWindow(app.Frame());
        return QTest::qWaitForWindowActive(app.Frame());
    };
    auto status = [&] { return app.Form()->StatusLabel()->text(); };
    auto is = [&](const char* text) { return [&, text] { return status() == Displayed(text); }; };
    auto* edit = app.Form()->SerialEdit();
    bool ok = true;

    // Not connected: the status and its box.
    ok &= WaitFor([] { return OpenBox() != nullptr; });
    Shot(out, "01-not-connected");
    if (QMessageBox* box = OpenBox(); box != nullptr) {
        box->done(QMessageBox::Ok);
    }
    // No pager.
    Sim("remove");
    Sim("plug");
    ok &= WaitFor(is(sn::text::kSeatPager));
    Shot(out, "02-no-pager");
    // Ready, then ten characters typed.
    Sim("seat");
    ok &= WaitFor(is(sn::text::kEnterSerial));
    Shot(out, "03-ready");
    ok &= activate();
    edit->setFocus();
    ok &= WaitFor([&] { return edit->hasFocus(); }, 3000);
    QTest::keyClicks(edit, "ab12cd34ef");
    Shot(out, "04-ten-characters");
    // Writing: caught between the third and the fourth block.
    QTest::mouseClick(app.Form()->WriteButton(), Qt::LeftButton);
    ok &= WaitFor([&] { return app.Form()->Progress()->value() == 99; }, 15000, 1);
    Shot(out, "05-writing");
    ok &= WaitFor(is(sn::text::kCompleted));
    Shot(out, "06-success");
    // Another pager that already has its number.
    Sim("remove");
    ok &= WaitFor(is(sn::text::kSeatPager));
    Sim("seat");
    ok &= WaitFor(is(sn::text::kAlreadyNumbered));
    Shot(out, "07-already-numbered");
    // A read error.
    Sim("numbered off");
    ok &= WaitFor(is(sn::text::kEnterSerial));
    Sim("fault read-finish nak always");
    ok &= activate();
    edit->setFocus();
    QTest::keyClicks(edit, "ZX98CV76BN");
    QTest::mouseClick(app.Form()->WriteButton(), Qt::LeftButton);
    ok &= WaitFor([] { return OpenBox() != nullptr; });
    Shot(out, "08-error-box");
    if (QMessageBox* box = OpenBox(); box != nullptr) {
        box->done(QMessageBox::Ok);
    }
    Sim("clear");
    // The dialogs, once the monitor has found the pager again.
    ok &= WaitFor(is(sn::text::kEnterSerial));
    ok &= WaitFor([&] { return sn::SystemSetupEnabled(app.Selection()); });
    auto closeDialog = [] {
        if (QWidget* dialog = QApplication::activeModalWidget(); dialog != nullptr) {
            dialog->close();
        }
    };
    QTimer::singleShot(400, [&] {
        Shot(out, "09-system-configuration");
        closeDialog();
    });
    app.OnSystemSetup();
    QTimer::singleShot(400, [&] {
        Shot(out, "10-about");
        closeDialog();
    });
    app.OnAppAbout();

    app.Frame()->close();
    app.Shutdown();
    ok &= CountsTour(out, link);
    Sim("quit");
    pclose(g_sim);
    std::printf("tour %s\n", ok ? "complete" : "INCOMPLETE: a state was not reached");
    return ok ? 0 : 1;
}
