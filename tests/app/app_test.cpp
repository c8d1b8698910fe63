// The window, on Qt's offscreen platform, against the substitute pager on a
// pseudo-terminal.

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMessageBox>
#include <QStatusBar>
#include <QtTest>
#include <cstdio>

#include "app/serial_comm_dialog.h"
#include "app/stall_meter.h"
#include "app/vexlo_app.h"
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
        QApplication::clipboard()->setText(QStringLiteral("c-d 12345"));
        QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier);  // paste is not filtered
        QCOMPARE(Edit()->text(), QStringLiteral("1*ABC-D 12"));   // ten at most
        QCOMPARE(Status(), Q(text::kClickWrite));
        QTest::keyClick(Edit(), Qt::Key_9);  // an eleventh character
        QCOMPARE(Edit()->text().size(), 10);
        QTest::keyClick(Edit(), Qt::Key_Backspace);
        QCOMPARE(Edit()->text(), QStringLiteral("1*ABC-D 1"));
        QTest::keyClick(Edit(), Qt::Key_N, Qt::ControlModifier);  // not the window's Ctrl+N
        QCOMPARE(Status(), Q(text::kEnterSerial));
    }

    void leavingTheField() {
        Launch();
        WaitReady();
        QTest::keyClicks(Edit(), "AB12CD34E");
        app_->Frame()->setFocus();
        QTRY_COMPARE(Status(), Q(text::kSerialInvalid));
        QCOMPARE(app_->View()->serialReady.load(), 0);
        Edit()->setFocus();
        QTest::keyClick(Edit(), Qt::Key_F);
        QCOMPARE(Status(), Q(text::kClickWrite));
        app_->Frame()->setFocus();
        QTRY_COMPARE(app_->View()->serialReady.load(), 1);
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

    void closingDuringATransaction() {
        Launch();
        WaitReady();
        pager_->SetStandingFault(kCmdReadBlock, sim::Fault::Silence);
        QTest::keyClicks(Edit(), "AB12CD34EF");
        QTest::mouseClick(app_->Form()->WriteButton(), Qt::LeftButton);
        QTRY_COMPARE(Status(), Q(text::kGathering));
        QTest::qWait(300);
        QElapsedTimer t;
        t.start();
        app_->Frame()->close();
        std::printf("closing during a transaction took %lld ms\n",
                    static_cast<long long>(t.elapsed()));
        QVERIFY(t.elapsed() < 1500);
        QVERIFY(!app_->View()->TransactionRunning());
        QVERIFY(!app_->Link().IsOpen());
    }

    // Production use: the next number offered, Enter writes, a duplicate is
    // refused in a box with the field kept, every pager is logged.
    void enterWritesTheNextNumberAndTheLogGuards() {
        QTemporaryDir dir;
        const std::string log = dir.filePath(QStringLiteral("log.csv")).toStdString();
        AppOptions options;
        options.logs = {log};
        options.nextFrom = "AB12CD0009";
        options.enterWrites = true;
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
        QCOMPARE(rows.size(), 1u);
        QCOMPARE(rows[0].serialWritten, std::string("AB12CD0009"));
        QCOMPARE(rows[0].outcome, std::string("written"));
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
