// The message and input boxes: button sets and their results, the layout, the keys, and the
// core's message boxes shown through the Qt presenter.

#include "i18n/message_box.h"
#include "tests/ui/modal_driver.h"
#include "ui/flat_switch.h"
#include "ui/msg_box_form.h"
#include "ui/qt_message_box_presenter.h"
#include "ui/splash_form.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace peldor;
using peldor::test::ModalDriver;

class MsgBoxTest : public QObject {
    Q_OBJECT

private slots:
    void buttonSetsLayoutAndResults();
    void enterEscapeAndClose();
    void iconKindPlacesText();
    void inputBoxReturnsEditedTextWhateverCloses();
    void presenterShowsCoreBoxesAndSplashStatus();
};

void MsgBoxTest::buttonSetsLayoutAndResults() {
    struct Expected {
        QStringList captions;
        QList<int> results;
        QList<int> lefts;
        int width;
    };
    const Expected sets[8] = {
        {{"OK"}, {1}, {151}, 80},
        {{"Cancel"}, {2}, {151}, 80},
        {{"OK", "Cancel"}, {1, 2}, {103, 198}, 80},
        {{"Yes"}, {6}, {151}, 80},
        {{"No"}, {7}, {151}, 80},
        {{"Yes", "No"}, {6, 7}, {103, 198}, 80},
        {{"Yes", "Cancel"}, {6, 2}, {103, 198}, 80},
        {{"Yes", "No", "Cancel"}, {6, 7, 2}, {56, 151, 246}, 80},
    };
    for (int set = 0; set < 8; ++set) {
        const Expected& expected = sets[set];
        for (int number = 1; number <= expected.captions.size(); ++number) {
            TMsgBoxForm form;
            QCOMPARE(form.size(), QSize(382, 178));
            form.SetButtons(set, 1);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.VisibleButtons(), expected.captions.size());
            for (int i = 1; i <= 3; ++i) {
                TFlatSwitch* button = form.Button(i);
                if (i > expected.captions.size()) {
                    QVERIFY(!button->isVisible());
                    continue;
                }
                QVERIFY(button->isVisible());
                QCOMPARE(button->OffCaption(), expected.captions[i - 1]);
                QCOMPARE(button->geometry(), QRect(expected.lefts[i - 1], 140, expected.width, 21));
            }
            // Only the default button's outline differs.
            const QColor outline = form.Button(1)->OffPenColor();
            for (int i = 2; i <= expected.captions.size(); ++i) {
                QVERIFY(form.Button(i)->OffPenColor() != outline);
                QCOMPARE(form.Button(i)->OffFillColor(), form.Button(1)->OffFillColor());
            }
            QTest::mouseClick(form.Button(number), Qt::LeftButton, {}, QPoint(10, 10));
            QCOMPARE(form.Answer(), expected.results[number - 1]);
            QVERIFY(!form.isVisible());
        }
    }
}

void MsgBoxTest::enterEscapeAndClose() {
    ModalDriver driver;
    driver.Then([](TMsgBoxForm* form) { QTest::keyClick(form, Qt::Key_Return); });
    QCOMPARE(TMsgBoxForm::ShowMessageBox(nullptr, "Title", "Save?", kMsgQuestion, kButtonsYesNo, 1),
             kResultYes);
    driver.Then([](TMsgBoxForm* form) { QTest::keyClick(form, Qt::Key_Enter); });
    QCOMPARE(TMsgBoxForm::ShowMessageBox(nullptr, "Title", "Save?", kMsgQuestion,
                                         kButtonsYesNoCancel, 3),
             kResultCancel);
    driver.Then([](TMsgBoxForm* form) { QTest::keyClick(form, Qt::Key_Escape); });
    QCOMPARE(TMsgBoxForm::ShowMessageBox(nullptr, "Title", "Save?", kMsgQuestion,
                                         kButtonsYesNoCancel, 1),
             kResultNone);
    driver.Then([](TMsgBoxForm* form) { form->close(); });
    QCOMPARE(TMsgBoxForm::ShowMessageBox(nullptr, "Title", "Text", kMsgNotice, kButtonsOk, 1),
             kResultNone);
    // A default beyond the set leaves Enter without effect.
    driver.Then([](TMsgBoxForm* form) {
        QTest::keyClick(form, Qt::Key_Return);
        QVERIFY(form->isVisible());
        QTest::keyClick(form, Qt::Key_Escape);
    });
    QCOMPARE(TMsgBoxForm::ShowMessageBox(nullptr, "Title", "Text", kMsgNotice, kButtonsOk, 3),
             kResultNone);
    QVERIFY(driver.Done());
}

void MsgBoxTest::iconKindPlacesText() {
    TMsgBoxForm form;
    form.SetText("A text that runs long enough to wrap over more than one line of the box.");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.SetIconKind(kMsgNoIcon);
    QVERIFY(!form.IconBox()->isVisible());
    QCOMPARE(form.TextLabel()->x(), 10);
    QCOMPARE(form.TextLabel()->width(), 382 - 20);
    for (int kind : {kMsgNotice, kMsgQuestion, kMsgWarning, kMsgProblem}) {
        form.SetIconKind(kind);
        QVERIFY(form.IconBox()->isVisible());
        QCOMPARE(form.TextLabel()->x(), 68);
        QVERIFY(form.TextLabel()->geometry().right() < 382);
        QVERIFY(!form.TextLabel()->geometry().intersects(form.IconBox()->geometry()));
    }
    form.SetIconKind(17);
    QCOMPARE(form.IconKind(), kMsgNoIcon);
    QVERIFY(!form.IconBox()->isVisible());
    QVERIFY(form.TextLabel()->wordWrap());
}

void MsgBoxTest::inputBoxReturnsEditedTextWhateverCloses() {
    ModalDriver driver;
    driver.Then([](TMsgBoxForm* form) {
        QLineEdit* edit = form->Edit();
        QVERIFY(edit != nullptr);
        QCOMPARE(edit->selectedText(), QStringLiteral("Song 1"));
        QTRY_VERIFY_WITH_TIMEOUT(edit->hasFocus(), 2000);
        QVERIFY(!edit->geometry().intersects(form->TextLabel()->geometry()));
        QVERIFY(edit->geometry().bottom() < 140);
        QTest::keyClicks(edit, "Intro");
        QTest::mouseClick(form->Button(2), Qt::LeftButton, {}, QPoint(10, 10));
    });
    QString value = "Song 1";
    QCOMPARE(TMsgBoxForm::ShowInputBox(nullptr, "Rename", "Song name:", kMsgQuestion,
                                       kButtonsOkCancel, 1, value),
             kResultCancel);
    QCOMPARE(value, QStringLiteral("Intro"));

    // Enter in the edit is the default button; Escape still hands back the text.
    driver.Then([](TMsgBoxForm* form) {
        QTest::keyClicks(form->Edit(), "Verse");
        QTest::keyClick(form->Edit(), Qt::Key_Return);
    });
    QCOMPARE(TMsgBoxForm::ShowInputBox(nullptr, "Rename", "Part name:", kMsgQuestion,
                                       kButtonsOkCancel, 1, value),
             kResultOk);
    QCOMPARE(value, QStringLiteral("Verse"));
    driver.Then([](TMsgBoxForm* form) {
        QTest::keyClick(form->Edit(), Qt::Key_End);
        QTest::keyClicks(form->Edit(), " 2");
        QTest::keyClick(form->Edit(), Qt::Key_Escape);
    });
    QCOMPARE(TMsgBoxForm::ShowInputBox(nullptr, "Rename", "Part name:", kMsgQuestion,
                                       kButtonsOkCancel, 1, value),
             kResultNone);
    QCOMPARE(value, QStringLiteral("Verse 2"));
}

void MsgBoxTest::presenterShowsCoreBoxesAndSplashStatus() {
    QWidget mainWindow;
    mainWindow.resize(800, 600);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
    {
        const auto presenter = InstallQtMessageBoxPresenter(&mainWindow);
        QVERIFY(OnWindowThread());
        ModalDriver driver;
        QString shownText;
        QRect shownAt;
        driver.Then([&](TMsgBoxForm* form) {
            shownText = form->TextLabel()->text();
            shownAt = form->geometry();
            QTest::keyClick(form, Qt::Key_Return);
        });
        QCOMPARE(peldor::ShowMessageBox("Problem",
                                        "Gr\xC3\xBC\xC3\x9F"
                                        "e",
                                        kMsgProblem, kButtonsYesNo, 2),
                 kResultNo);
        QCOMPARE(shownText, QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                              "e"));
        QCOMPARE(shownAt.center(), mainWindow.frameGeometry().center());

        driver.Then([](TMsgBoxForm* form) {
            form->Edit()->insert(QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
            QTest::keyClick(form, Qt::Key_Return);
        });
        std::string value = "x";
        QCOMPARE(peldor::ShowInputBox("Name", "Name:", kMsgQuestion, kButtonsOkCancel, 1, value),
                 kResultOk);
        QCOMPARE(value, std::string("\xC3\xA9t\xC3\xA9"));

        // SplashStatus reaches a visible splash window, and waits in every case.
        const int savedDelay = SplashStatusDelayMs;
        SplashStatusDelayMs = 40;
        QElapsedTimer clock;
        clock.start();
        peldor::SplashStatus("Scanning: nothing.so");
        QVERIFY(clock.elapsed() >= 40);
        auto* splash = new TSplashForm;
        QCOMPARE(splash->Panel()->text(), QStringLiteral("PELDOR"));
        splash->show();
        clock.restart();
        peldor::SplashStatus("Scanning: Kars.so");
        QVERIFY(clock.elapsed() >= 40);
        QCOMPARE(splash->Panel()->text(), QStringLiteral(" Scanning: Kars.so"));
        SplashStatusDelayMs = savedDelay;
        QSignalSpy faded(splash, &TSplashForm::FadedOut);
        QPointer<TSplashForm> watch(splash);
        splash->FadeOut();
        QVERIFY(faded.wait(2000));
        QTRY_VERIFY(watch.isNull());
        QVERIFY(TSplashForm::Current() == nullptr);
        QVERIFY(driver.Done());
    }
    // Gone with its owner: the headless presenter answers with the default button again.
    QCOMPARE(peldor::ShowMessageBox("T", "headless", kMsgNotice, kButtonsYesNo, 2), kResultNo);
}

QTEST_MAIN(MsgBoxTest)
#include "msg_box_test.moc"
