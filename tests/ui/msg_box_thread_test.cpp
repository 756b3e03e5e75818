// Message boxes raised on other threads: the requester never waits, and the box appears on the
// window thread, one after the other, also while another box is open.

#include "i18n/message_box.h"
#include "tests/ui/modal_driver.h"
#include "ui/qt_message_box_presenter.h"

#include <QLabel>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace peldor;
using peldor::test::ModalDriver;

class MsgBoxThreadTest : public QObject {
    Q_OBJECT

private slots:
    void postedBoxesAppearOnTheWindowThreadWithoutBlocking();
};

void MsgBoxThreadTest::postedBoxesAppearOnTheWindowThreadWithoutBlocking() {
    const auto presenter = InstallQtMessageBoxPresenter(nullptr);
    QThread* const windowThread = QThread::currentThread();

    ModalDriver driver;
    QStringList shown;
    bool allOnWindowThread = true;
    std::atomic<int> secondAnswer{-1};
    driver.Then([&](TMsgBoxForm* form) {
        shown << form->TextLabel()->text();
        allOnWindowThread = allOnWindowThread && form->thread() == windowThread &&
                            QThread::currentThread() == windowThread;
        // A request made while this box is open returns at once too.
        std::thread second([&] {
            secondAnswer = peldor::ShowMessageBox("Problem", "second", kMsgProblem, kButtonsOk, 1);
        });
        second.join();
        QTest::keyClick(form, Qt::Key_Return);
    });
    driver.Then([&](TMsgBoxForm* form) {
        shown << form->TextLabel()->text();
        allOnWindowThread = allOnWindowThread && form->thread() == windowThread;
        QTest::keyClick(form, Qt::Key_Escape);
    });

    std::atomic<int> firstAnswer{-1};
    std::thread first([&] {
        firstAnswer = peldor::ShowMessageBox("Problem", "first", kMsgProblem, kButtonsOk, 1);
    });
    first.join(); // returns before any window could have been shown
    QCOMPARE(firstAnswer.load(), kResultNone);
    QVERIFY(shown.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, 5000);
    QCOMPARE(shown, QStringList({"first", "second"}));
    QCOMPARE(secondAnswer.load(), kResultNone);
    QVERIFY(allOnWindowThread);
    QVERIFY(driver.Done());
}

QTEST_MAIN(MsgBoxThreadTest)
#include "msg_box_thread_test.moc"
