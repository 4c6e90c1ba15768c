// The main window as the user, a screen reader and a keyboard user meet it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "shell/root.h"
#include "shell/startup.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_operations.h"
#include "tests/support/wait.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

using test::waitUntil;

// The help picture's effect is its hint box; every other control's is an operation.
const QString kHint = QStringLiteral("hint");

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        root.setOperations(&operations);
        root.show();
        QApplication::setActiveWindow(&root);
        root.tBilddatei()->setFocus();
    }

    QWidget* control(const char* name) const {
        return root.findChild<QWidget*>(QString::fromLatin1(name));
    }

    std::vector<QString> effects() const {
        std::vector<QString> all = operations.calls;
        for (const MessageBoxRequest& box : fakes.messages->shown()) {
            if (box.title == QStringLiteral(" Hilfethemen")) all.push_back(kHint);
        }
        return all;
    }

    FakePlatform fakes;
    Root root{fakes.services};
    RecordingOperations operations;
};

TEST_F(MainWindowTest, StartsWithTheDesignStateAndShowsOnlyTheControlsMeantForTheUser) {
    for (const char* name : {"bScannen", "bAnzeigen", "bDrucken", "PHilfe", "BVerwaltung",
                             "Picture0", "Picture2", "RVorhanden", "tBilddatei", "RNamen"}) {
        EXPECT_TRUE(control(name)->isVisible()) << name;
    }
    for (const char* name :
         {"Text1", "bAbbrechen", "bAssistent", "Picture1", "LNamen", "tOrdner"}) {
        EXPECT_FALSE(control(name)->isVisible()) << name;
    }
}

TEST_F(MainWindowTest, NoticeReturnsOnTheTimerOnceThePictureIsGone) {
    root.setPage(Page(QImage(10, 10, QImage::Format_RGB32)));
    EXPECT_TRUE(waitUntil([this] { return !root.RVorhanden()->isVisible(); }))
        << "the notice stays beside a picture";
    root.clearPage();
    EXPECT_TRUE(waitUntil([this] { return root.RVorhanden()->isVisible(); }))
        << "the notice does not come back";
}

// Closing ends the program; the host program's end command ends the process at once.
TEST_F(MainWindowTest, ClosingQuitsAndOnlyTheExactEndCommandTerminates) {
    root.close();
    EXPECT_EQ(fakes.process->quits, std::vector<int>{0});
    root.bAbbrechen()->click();
    EXPECT_EQ(fakes.process->quits, (std::vector<int>{0, 0}));

    for (const char* text : {"$ende$", "$Ende$ ", "Ende"}) root.Text1()->setText(text);
    EXPECT_TRUE(fakes.process->terminations.empty());
    root.Text1()->setText("$Ende$");
    EXPECT_EQ(fakes.process->terminations, std::vector<int>{0});
    EXPECT_EQ(fakes.process->quits.size(), 2u) << "the end command quit as well";
}

// Alike buttons share their code; each row gives its control a different key.
struct ControlRow {
    const char* control;
    QAccessible::Role role;
    const char* name;
    const char* effect;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

class AccessibleControlTest : public MainWindowTest,
                              public ::testing::WithParamInterface<ControlRow> {};

TEST_P(AccessibleControlTest, HasRoleAndGermanNameAndIsPressedByScreenReaderAndKey) {
    const ControlRow& row = GetParam();
    QWidget* target = control(row.control);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(target);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), row.role);
    EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(row.name));
    EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty());

    // A screen reader's "activate" does what a click or double-click does.
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
    // Qt's own buttons press with a short animation.
    EXPECT_TRUE(waitUntil([this] { return effects().size() == 1; }))
        << effects().size() << " effects";

    // So does the key on the focused control.
    target->setFocus(Qt::TabFocusReason);
    QTest::keyClick(target, row.key, row.modifiers);
    EXPECT_EQ(effects(), std::vector<QString>(2, QString::fromLatin1(row.effect)));
}

INSTANTIATE_TEST_SUITE_P(
    Controls, AccessibleControlTest,
    ::testing::Values(
        ControlRow{"bScannen", QAccessible::Button, "Scannen", "bScannen_Click", Qt::Key_Return},
        ControlRow{"bAnzeigen", QAccessible::Button, "Anzeigen", "bAnzeigen_Click", Qt::Key_Enter,
                   Qt::KeypadModifier},
        ControlRow{"bDrucken", QAccessible::Button, "Drucken", "bDrucken_Click", Qt::Key_Space},
        ControlRow{"BVerwaltung", QAccessible::Button, "Speichern unter", "BVerwaltung_Click",
                   Qt::Key_Space},
        ControlRow{"PHilfe", QAccessible::Button, "Hilfe", "hint", Qt::Key_Space},
        ControlRow{"Picture2", QAccessible::Graphic, "Vorschau", "Picture2_DblClick",
                   Qt::Key_Return}),
    [](const auto& info) { return std::string(info.param.control); });

// Shift+F10 and the menu key stand for the right button (the picture's own keys
// and screen-reader actions are its own test's); a held key presses once.
TEST_F(MainWindowTest, PreviewMenuRequestsAreARightButtonPressAndAHeldKeyPressesOnce) {
    QWidget* preview = root.Picture2();
    preview->setFocus(Qt::TabFocusReason);
    QTest::keyClick(preview, Qt::Key_F10, Qt::ShiftModifier);
    QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                   preview->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(preview, &fromKeyboard);

    root.bScannen()->setFocus(Qt::TabFocusReason);
    QTest::keyPress(root.bScannen(), Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(root.bScannen(), &repeat);
    EXPECT_EQ(operations.calls,
              (std::vector<QString>{"Picture2_MouseDown", "Picture2_MouseDown", "bScannen_Click"}));
}

TEST_F(MainWindowTest, TabReachesEveryVisibleControlInTheWindowsOrderAndAltDLeadsBack) {
    std::vector<QString> visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, (std::vector<QString>{"tBilddatei", "BVerwaltung", "bScannen", "bAnzeigen",
                                             "bDrucken", "Picture2", "PHilfe", "tBilddatei"}));
    root.bScannen()->setFocus();
    QTest::keyClick(&root, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

// The scanner choice at the end of start-up takes the focus elsewhere.
TEST_F(MainWindowTest, HelpClickAndStartUpDialogsLeaveTheFocusInTheNameField) {
    QTest::mouseClick(root.Picture2(), Qt::LeftButton);
    QTest::mouseClick(root.PHilfe(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
    EXPECT_EQ(fakes.messages->shown().size(), 1u);

    QTemporaryDir temp;
    Startup startup{root, fakes.services, operations, temp.filePath("ornavex.ini")};
    operations.onTwainQuelle = [this] { root.bDrucken()->setFocus(); };
    fakes.messages->answer(MessageAnswer::Cancel);
    startup.restoreDocumentState();
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

}  // namespace
}  // namespace ornavex
