// The window, on Qt's offscreen platform, against the substitute pager on a
// pseudo-terminal.

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QtTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>

#include "app/serial_comm_dialog.h"
#include "app/stall_meter.h"
#include "app/vexlo_app.h"
#include "ledger/journal_file.h"
#include "protocol/frames.h"
#include "protocol/pager_memory.h"
#include "sim/pty_pager.h"
#include "tests/support/scripted_port_source.h"
#include "workflow/texts.h"

using namespace sn;
using namespace sn::app;

namespace {

QString Q(const char* text) {
    return Displayed(text);
}

// Closes every message box that comes up, and remembers what it said.
class BoxCloser : public QObject {
  public:
    BoxCloser() {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box != nullptr && box->isVisible()) {
                    texts.append(box->windowTitle() + "|" + box->text());
                    box->done(QMessageBox::Ok);
                }
            }
        });
        timer_.start();
    }
    QStringList texts;

  private:
    QTimer timer_;
};

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

  private:
    sim::SubstitutePager* pager_ = nullptr;
    sim::PtyPager* runner_ = nullptr;
    CVexloApp* app_ = nullptr;

    void Launch(AppOptions options = {}) {
        if (!options.source && options.port.empty()) {
            options.port = runner_->PortPath();
        }
        app_ = new CVexloApp(std::move(options));
        QVERIFY(app_->InitInstance());
        app_->Frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(app_->Frame()));
    }
    QString Status() const { return app_->Form()->StatusLabel()->text(); }
    QLineEdit* Edit() const { return app_->Form()->SerialEdit(); }
    void WaitReady() {
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kEnterSerial), 6000);
        QTRY_VERIFY(Edit()->isEnabled());
        Edit()->setFocus();
        QTRY_VERIFY(Edit()->hasFocus());
    }

  private slots:
    void init() {
        pager_ = new sim::SubstitutePager;
        runner_ = new sim::PtyPager(*pager_);
        QVERIFY(runner_->Start());
    }
    void cleanup() {
        if (app_ != nullptr) {
            app_->Frame()->close();
            delete app_;
            app_ = nullptr;
        }
        delete runner_;
        delete pager_;
    }

    void startState() {
        Launch();
        CMainFrame* frame = app_->Frame();
        QCOMPARE(frame->windowTitle(), QStringLiteral("Corvel Serial Number Tool"));
        QCOMPARE(frame->minimumSize(), frame->maximumSize());
        QVERIFY(!(frame->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(frame->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(frame->windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(frame->windowFlags() & Qt::WindowType_Mask, Qt::Window);
        QCOMPARE(Status(), Q(text::kCheckSerial));
        QVERIFY(!Edit()->isEnabled());
        QVERIFY(!app_->Form()->WriteButton()->isEnabled());
        QVERIFY(!app_->Form()->Progress()->isVisible());
        QCOMPARE(app_->Form()->Progress()->maximum(), 100);
        QCOMPARE(Edit()->maxLength(), 10);
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
        QCOMPARE(frame->SystemSetupAction()->text(), QStringLiteral("&System Setup\tF9"));
        QVERIFY(frame->SystemSetupAction()->shortcut().isEmpty());
        QCOMPARE(app_->Form()->TimerPeriod(), 1000);
        QVERIFY(!frame->SystemSetupAction()->isEnabled());  // no scan has seen a cradle yet
        WaitReady();
        QCOMPARE(frame->windowTitle(), QStringLiteral("Corvel Serial Number Tool"));
        app_->OnUpdateSystemSetup();
        QVERIFY(frame->SystemSetupAction()->isEnabled());
    }

    void keyFilter() {
        Launch();
        WaitReady();
        QTest::keyClick(Edit(), Qt::Key_1, Qt::ShiftModifier);  // '!' types nothing
        QTest::keyClick(Edit(), Qt::Key_Exclam, Qt::ShiftModifier);
        QCOMPARE(Edit()->text(), QString());
        QTest::keyClick(Edit(), Qt::Key_1, Qt::KeypadModifier);
        QTest::keyClick(Edit(), Qt::Key_Asterisk, Qt::KeypadModifier);
        QTest::keyClick(Edit(), Qt::Key_Asterisk);  // Shift+8 on the main keyboard
        for (Qt::Key k : {Qt::Key_Space, Qt::Key_Tab, Qt::Key_Return, Qt::Key_Minus, Qt::Key_Up}) {
            QTest::keyClick(Edit(), k);
        }
        QCOMPARE(Edit()->text(), QStringLiteral("1*"));
        QVERIFY(Edit()->hasFocus());
        QTest::keyClicks(Edit(), "ab");
        QCOMPARE(Edit()->text(), QStringLiteral("1*AB"));
        Edit()->selectAll();
        QTest::keyClick(Edit(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1*AB"));
        Edit()->end(false);
        for (Qt::Key k : {Qt::Key_X, Qt::Key_A, Qt::Key_Z}) {
            QTest::keyClick(Edit(), k, Qt::ControlModifier);
        }
        QCOMPARE(Edit()->text(), QStringLiteral("1*AB"));
        QApplication::clipboard()->setText(QStringLiteral("cd123456"));
        QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Edit()->text(), QStringLiteral("1*ABCD1234"));  // ten at most
        QCOMPARE(Status(), Q(text::kClickWrite));
        QTest::keyClick(Edit(), Qt::Key_9);  // an eleventh character
        QCOMPARE(Edit()->text().size(), 10);
        QTest::keyClick(Edit(), Qt::Key_Backspace);
        QCOMPARE(Edit()->text(), QStringLiteral("1*ABCD123"));
        QTest::keyClick(Edit(), Qt::Key_N, Qt::ControlModifier);  // not the window's Ctrl+N
        QCOMPARE(Status(), Q(text::kEnterSerial));
    }

    // Text that comes other ways than typed keys passes the same filter: a
    // change that brings anything but letters, digits and '*' is refused
    // whole, and letters become capitals. Five "É" are never ten characters.
    void onlyTypableTextEntersTheField() {
        struct Way {
            const char* name;
            std::function<void(QLineEdit*, const QString&)> put;
        };
        const Way ways[] = {
            {"Ctrl+V",
             [](QLineEdit* e, const QString& t) {
                 QApplication::clipboard()->setText(t);
                 QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
             }},
            {"Shift+Insert",
             [](QLineEdit* e, const QString& t) {
                 QApplication::clipboard()->setText(t);
                 QTest::keyClick(e, Qt::Key_Insert, Qt::ShiftModifier);
             }},
            {"context menu",
             [](QLineEdit* e, const QString& t) {
                 QApplication::clipboard()->setText(t);
                 std::unique_ptr<QMenu> menu(e->createStandardContextMenu());
                 for (QAction* a : menu->actions()) {
                     if (a->text().startsWith(QStringLiteral("&Paste"))) {
                         a->trigger();
                     }
                 }
             }},
            {"drag and drop",
             [](QLineEdit* e, const QString& t) {
                 QMimeData mime;
                 mime.setText(t);
                 QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton,
                                       Qt::NoModifier);
                 QApplication::sendEvent(e, &enter);
                 QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton,
                                 Qt::NoModifier);
                 QApplication::sendEvent(e, &drop);
             }},
            {"input method",
             [](QLineEdit* e, const QString& t) {
                 QInputMethodEvent commit;
                 commit.setCommitString(t);
                 QApplication::sendEvent(e, &commit);
             }},
        };
        const struct {
            QString text;
            QString held;        // by a way that pastes
            QString heldByKeys;  // by Shift+Insert, which the key filter consumes
        } cases[] = {
            {QStringLiteral("ab12*z"), QStringLiteral("AB12*Z"), QString()},
            {QStringLiteral("c-d 12345"), QString(), QString()},
            {QStringLiteral("\u00C9\u00C9\u00C9\u00C9\u00C9"), QString(), QString()},
            {QStringLiteral("AB12CD34\u00C9F"), QString(), QString()},
            {QStringLiteral("ab12cd34ef99"), QStringLiteral("AB12CD34EF"), QString()},
        };
        Launch();
        WaitReady();
        for (const Way& way : ways) {
            for (const auto& c : cases) {
                Edit()->clear();
                way.put(Edit(), c.text);
                const QString expected =
                    QString::fromLatin1(way.name) == "Shift+Insert" ? c.heldByKeys : c.held;
                const QByteArray where = QByteArray(way.name) + ": " + c.text.toUtf8() + " -> " +
                                         Edit()->text().toUtf8();
                QVERIFY2(Edit()->text() == expected, where.constData());
                QVERIFY2(app_->Form()->SerialText() == expected.toStdString(), where.constData());
                Edit()->setFocus();
                app_->Frame()->setFocus();  // the length check on leaving the field
                QTRY_VERIFY2(!Edit()->hasFocus(), where.constData());
                QVERIFY2(app_->View()->SerialReady() == (expected.size() == 10 ? 1 : 0),
                         where.constData());
            }
        }
    }

    void leavingTheField() {
        Launch();
        WaitReady();
        QTest::keyClicks(Edit(), "AB12CD34E");
        app_->Frame()->setFocus();
        QTRY_COMPARE(Status(), Q(text::kSerialInvalid));
        QCOMPARE(app_->View()->SerialReady(), 0);
        Edit()->setFocus();
        QTest::keyClick(Edit(), Qt::Key_F);
        QCOMPARE(Status(), Q(text::kClickWrite));
        app_->Frame()->setFocus();
        QTRY_COMPARE(app_->View()->SerialReady(), 1);
        QCOMPARE(Status(), Q(text::kClickWrite));
    }

    void completeWriteByKeysAndClicks() {
        Launch();
        WaitReady();
        StallMeter meter;
        meter.Start();
        QTest::keyClicks(Edit(), "ab12cd34ef");
        QVERIFY(app_->Form()->WriteButton()->isEnabled());
        QTest::mouseClick(app_->Form()->WriteButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kCompleted), 10000);
        meter.Stop();
        std::printf("longest event-loop stall during a write: %lld ms\n",
                    static_cast<long long>(meter.LongestStallMs()));
        QVERIFY(meter.LongestStallMs() < 500);
        const std::string serial = "AB12CD34EF";
        QCOMPARE(pager_->ReadMemory(0x0110, 10),
                 std::vector<std::uint8_t>(serial.begin(), serial.end()));
        QCOMPARE(pager_->ReadMemory(0x3C10, 10),
                 std::vector<std::uint8_t>(serial.begin(), serial.end()));
        QVERIFY(!app_->Form()->Progress()->isVisible());
        QCOMPARE(app_->Form()->TimerPeriod(), 2000);
        // The next tick finds the pager numbered and keeps the success text.
        QTRY_VERIFY_WITH_TIMEOUT(!Edit()->isEnabled(), 5000);
        QTest::qWait(2500);
        QCOMPARE(Status(), Q(text::kCompleted));
    }

    // Every status text shows in full in the status line, as a left-aligned
    // static shows it: broken between words onto the next line.
    void statusTextsFitTheStatusLine_data() {
        QTest::addColumn<QByteArray>("text");
        for (const char* t :
             {text::kCheckSerial, text::kNotConnected, text::kSeatPager, text::kEnterSerial,
              text::kSerialInvalid, text::kClickWrite, text::kAlreadyNumbered, text::kGathering,
              text::kModelRefused, text::kWriting, text::kCompleted}) {
            QTest::newRow(t) << QByteArray(t);
        }
    }
    void statusTextsFitTheStatusLine() {
        QFETCH(QByteArray, text);
        GuiForm form;
        form.SetStatusText(text.toStdString());
        const QLabel* line = form.StatusLabel();
        const QRect room = line->contentsRect();
        const QRect needed = line->fontMetrics().boundingRect(
            room, static_cast<int>(line->alignment()) | Qt::TextWordWrap, line->text());
        QVERIFY2(room.contains(needed), qPrintable(QStringLiteral("needs %1x%2, has %3x%4")
                                                       .arg(needed.width())
                                                       .arg(needed.height())
                                                       .arg(room.width())
                                                       .arg(room.height())));
        QVERIFY(line->wordWrap());
    }

    // A tick's last texts, queued from its thread before the Write button
    // was pressed, land before the button's " Gathering Pager information...",
    // never after it.
    void queuedTextsKeepTheirPlaceBeforeTheGuiThreads() {
        GuiForm form;
        std::thread tick([&] {
            form.SetSerialText("");
            form.SetStatusText(text::kEnterSerial);
        });
        tick.join();
        form.SetStatusText(text::kGathering);
        QCoreApplication::processEvents();
        QCOMPARE(form.StatusLabel()->text(), Q(text::kGathering));
    }

    void stallDuringANoPagerTick() {
        pager_->SetSeated(false);
        Launch();
        StallMeter meter;
        meter.Start();
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kSeatPager), 8000);  // after a 3000 ms wait
        meter.Stop();
        std::printf("longest event-loop stall during a no-pager tick: %lld ms\n",
                    static_cast<long long>(meter.LongestStallMs()));
        QVERIFY(meter.LongestStallMs() < 500);
    }

    void aboutStopsAndRestartsTheMonitor() {
        Launch();
        WaitReady();
        QCOMPARE(app_->Form()->TimerPeriod(), 0);  // a pager waits for its number
        int periodWhileOpen = -1;
        QString title;
        QTimer::singleShot(100, [&] {
            periodWhileOpen = app_->Form()->TimerPeriod();
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog != nullptr) {
                title = dialog->windowTitle();
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        app_->OnAppAbout();
        QCOMPARE(title, QStringLiteral("About Corvel Serial Number Tool"));
        QCOMPARE(periodWhileOpen, 0);
        QCOMPARE(app_->Form()->TimerPeriod(), 2000);
        // The restarted tick finds the link still open, keeps it, and asks again.
        QTest::qWait(2600);
        QCOMPARE(Status(), Q(text::kEnterSerial));
        QCOMPARE(app_->Form()->TimerPeriod(), 0);
    }

    void newDocumentReturnsToTheStartTexts() {
        Launch();
        WaitReady();
        QTest::keyClicks(Edit(), "AB1");
        app_->Frame()->setFocus();
        QTest::keyClick(app_->Frame(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(Status(), Q(text::kCheckSerial));
        QVERIFY(!app_->Form()->WriteButton()->isEnabled());
        QCOMPARE(app_->Form()->TimerPeriod(), 1000);
    }

    void systemSetupWithoutAPortRestartsTheMonitor() {
        AppOptions options;
        options.port = "/nonexistent/cradle";
        BoxCloser boxes;
        Launch(std::move(options));
        app_->OnSystemSetup();
        QTRY_VERIFY(!boxes.texts.isEmpty());
        QVERIFY(boxes.texts.contains(QStringLiteral("Corvel PPS|") +
                                     Q("Communication Error #1 \r\n\r\nUSB device not connected! "
                                       "\r\nPlease connect the pager programming cradle to your PC "
                                       "and try again. ")));
        QCOMPARE(app_->Form()->TimerPeriod(), 2000);
    }

    // A refusal of the port enumeration is reported, and the program goes on.
    void portListErrorsAreReported() {
        auto source = std::make_unique<testing::ScriptedPortSource>();
        source->openSetError = 5;
        AppOptions options;
        options.source = std::move(source);
        BoxCloser boxes;
        Launch(std::move(options));
        app_->OnSystemSetup();
        QTRY_VERIFY(boxes.texts.contains(
            QStringLiteral("Serial Number Tool|SetupDiGetClassDevs failed. (err=5)")));
        QCOMPARE(app_->Form()->TimerPeriod(), 2000);
        QVERIFY(app_->Frame()->isVisible());
    }

    void systemConfigurationDialog() {
        testing::ScriptedPortSource source;
        for (const char* n : {"COM3", "COM4", "COM7"}) {
            source.interfaces.push_back(testing::ScriptedInterface{
                n, std::string("Silicon Labs CP210x USB to UART Bridge (") + n + ")", "d", "USB",
                0});
        }
        PortSelection selection;
        selection.chosenPortName = "COM7";
        {
            CSerialCommDlg dialog(source, selection);
            dialog.OnInitDialog();
            QCOMPARE(dialog.windowTitle(), QStringLiteral("System Configuration"));
            QCOMPARE(dialog.PortCombo()->count(), 3);
            QCOMPARE(dialog.PortCombo()->currentIndex(), 0);  // first opening
            dialog.reject();
            QCOMPARE(selection.autoSelect.load(), 1);  // back to automatic
        }
        {
            CSerialCommDlg dialog(source, selection);
            dialog.OnInitDialog();
            dialog.PortCombo()->setCurrentIndex(2);
            dialog.accept();
            QCOMPARE(selection.chosenPortName.get(), std::string("COM7"));
        }
        {
            CSerialCommDlg dialog(source, selection);
            dialog.OnInitDialog();
            QCOMPARE(dialog.PortCombo()->currentIndex(), 2);
            dialog.reject();
            QCOMPARE(selection.autoSelect.load(), 0);  // manual stays
        }
        source.interfaces.pop_back();
        {
            CSerialCommDlg dialog(source, selection);
            dialog.OnInitDialog();
            QCOMPARE(dialog.PortCombo()->currentIndex(), 0);
            dialog.reject();
            QCOMPARE(selection.chosenPortName.get(), std::string("COM3"));
        }
    }

    // Closed while the blocks are written: the window stays until the pager
    // is finished and its row recorded, saying so, then closes.
    void closingDuringAWrite() {
        QTemporaryDir dir;
        const std::string log = dir.filePath(QStringLiteral("log.csv")).toStdString();
        AppOptions options;
        options.production.logs = {log};
        Launch(std::move(options));
        WaitReady();
        pager_->ScriptFaults(kCmdWriteBlock, std::vector<sim::Fault>(6, sim::Fault::Nak));
        QTest::keyClicks(Edit(), "AB12CD34EF");
        QTest::mouseClick(app_->Form()->WriteButton(), Qt::LeftButton);
        QTRY_COMPARE(Status(), Q(text::kWriting));
        QVERIFY(!app_->Frame()->close());
        QCOMPARE(Status(), Q(text::kClosingAfterPager));
        QVERIFY(app_->Frame()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!app_->Frame()->isVisible(), 10000);
        QVERIFY(!app_->View()->TransactionRunning());
        QVERIFY(!app_->Link().IsOpen());
        QCOMPARE(Status(), Q(text::kClosingAfterPager));
        QVERIFY(pager_->IsNumbered());
        QCOMPARE(pager_->ReadMemory(kMirrorAreaStart, kInfoAreaSize),
                 pager_->ReadMemory(kInfoAreaStart, kInfoAreaSize));
        QFile file(QString::fromStdString(log));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto rows = ParseCsvLog(file.readAll().toStdString()).rows;
        QCOMPARE(rows.size(), 2u);
        QCOMPARE(rows[1].outcome, std::string("written"));
    }

    // The cradle pulled as the pager takes block 240: the write's box, the
    // monitor running again, and the window usable once the cradle is back.
    void cradlePulledDuringTheWriteOfBlock240() {
        QTemporaryDir dir;
        const QString cradle = dir.filePath(QStringLiteral("cradle"));
        sim::PtyPager first(*pager_);
        first.PlanPull({9, 0, [&] { QFile::remove(cradle); }});
        QVERIFY(first.Start());
        QVERIFY(QFile::link(QString::fromStdString(first.PortPath()), cradle));
        AppOptions options;
        options.port = cradle.toStdString();
        BoxCloser boxes;
        Launch(std::move(options));
        WaitReady();
        QTest::keyClicks(Edit(), "AB12CD34EF");
        QTest::mouseClick(app_->Form()->WriteButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!boxes.texts.isEmpty(), 8000);
        QCOMPARE(boxes.texts.front(), Q(text::kCaption) + "|" + Q(text::kWriteError5));
        QTRY_VERIFY(!app_->View()->TransactionRunning());
        QVERIFY(!app_->Link().IsOpen());
        QCOMPARE(app_->Form()->TimerPeriod(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kNotConnected), 5000);

        sim::PtyPager second(*pager_);
        QVERIFY(second.Start());
        QVERIFY(QFile::link(QString::fromStdString(second.PortPath()), cradle));
        // Blocks 4 and 5 were written before the pull: the pager is numbered.
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kAlreadyNumbered), 5000);
        QVERIFY(!Edit()->isEnabled());
        pager_->Reset();                  // the next pager is seated
        app_->Frame()->activateWindow();  // the boxes took the focus
        QVERIFY(QTest::qWaitForWindowActive(app_->Frame()));
        WaitReady();
        QTest::keyClicks(Edit(), "ZY98XW76VU");
        QTest::mouseClick(app_->Form()->WriteButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kCompleted), 10000);
        app_->Frame()->close();  // before the pagers go
        delete app_;
        app_ = nullptr;
    }

    // Production use: the next number offered, Enter writes, a duplicate is
    // refused in a box with the field kept, every pager is logged.
    void enterWritesTheNextNumberAndTheLogGuards() {
        QTemporaryDir dir;
        const std::string log = dir.filePath(QStringLiteral("log.csv")).toStdString();
        AppOptions options;
        options.production.logs = {log};
        options.production.nextFrom = sn::Serial::Parse("AB12CD0009");
        options.production.enterWrites = true;
        Launch(std::move(options));
        BoxCloser boxes;
        QTRY_COMPARE_WITH_TIMEOUT(Edit()->text(), QStringLiteral("AB12CD0009"), 6000);
        QTRY_COMPARE(Status(), Q(text::kClickWrite));
        Edit()->setFocus();
        QTRY_VERIFY(Edit()->hasFocus());
        QTest::keyClick(Edit(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(Status(), Q(text::kCompleted), 6000);
        const auto serial = pager_->ReadMemory(kSerialAddress, kSerialLength);
        QCOMPARE(std::string(serial.begin(), serial.end()), std::string("AB12CD0009"));

        pager_->SetNumbered(false);  // a fresh pager
        QTRY_COMPARE_WITH_TIMEOUT(Edit()->text(), QStringLiteral("AB12CD0010"), 6000);
        QTRY_VERIFY(Edit()->isEnabled());
        Edit()->setFocus();
        QTRY_VERIFY(Edit()->hasFocus());
        Edit()->selectAll();
        QTest::keyClicks(Edit(), "ab12cd0009");
        QTest::keyClick(Edit(), Qt::Key_Enter, Qt::KeypadModifier);
        QTRY_COMPARE(boxes.texts.size(), 1);
        QVERIFY(boxes.texts[0].contains(QStringLiteral("AB12CD0009 was already written on")));
        QCOMPARE(Edit()->text(), QStringLiteral("AB12CD0009"));
        QCOMPARE(pager_->RequestCount(kCmdWriteStart), 1u);
        QFile file(QString::fromStdString(log));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto rows = ParseCsvLog(file.readAll().toStdString()).rows;
        QCOMPARE(rows.size(), 2u);  // reserved, then written
        QCOMPARE(rows[1].serialWritten, std::string("AB12CD0009"));
        QCOMPARE(rows[1].outcome, std::string("written"));
    }

    // The operator's counts in the status bar, from the journal, after every
    // pager: two written, then one whose blocks are refused.
    void statusBarCountsTheShiftsPagers() {
        QTemporaryDir dir;
        AppOptions options;
        options.production.logs = {dir.filePath(QStringLiteral("log.csv")).toStdString()};
        options.production.nextFrom = sn::Serial::Parse("AB12CD0001");
        options.production.enterWrites = true;
        Launch(std::move(options));
        BoxCloser boxes;
        const QString station = QString::fromStdString(StationName()) + ": ";
        QStatusBar* bar = app_->Frame()->statusBar();
        QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(),
                                  station + "0 numbered, 0 failed, 0 in doubt, next AB12CD0001",
                                  6000);
        for (const char* serial : {"AB12CD0001", "AB12CD0002", "AB12CD0003"}) {
            if (std::string_view(serial) == "AB12CD0003") {
                pager_->SetStandingFault(kCmdWriteBlock, sim::Fault::Nak);
            }
            pager_->SetNumbered(false);  // a fresh pager
            QTRY_COMPARE_WITH_TIMEOUT(Edit()->text(), QString::fromLatin1(serial), 6000);
            QTRY_VERIFY(Edit()->isEnabled());
            Edit()->setFocus();
            QTRY_VERIFY(Edit()->hasFocus());
            QTest::keyClick(Edit(), Qt::Key_Return);
            QTRY_VERIFY_WITH_TIMEOUT(app_->View()->TransactionRunning(), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(!app_->View()->TransactionRunning(), 15000);
        }
        QCOMPARE(boxes.texts.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(
            bar->currentMessage().startsWith(station + "2 numbered, 1 failed, 0 in doubt"), 5000);
    }

    void enterStaysConsumedWithoutTheOption() {
        Launch();
        WaitReady();
        QTest::keyClicks(Edit(), "AB12CD34EF");
        QTest::keyClick(Edit(), Qt::Key_Return);
        QTest::qWait(500);
        QCOMPARE(Status(), Q(text::kClickWrite));
        QCOMPARE(pager_->RequestCount(kCmdReadBlock), 0u);
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
