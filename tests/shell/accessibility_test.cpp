// What a screen reader and a keyboard user meet in the main window.
#include <gtest/gtest.h>

#include <ostream>

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "shell/root.h"
#include "shell/startup.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_operations.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

// The help picture's effect is its hint box; every other control's is an operation.
const QString kHint = QStringLiteral("hint");

class AccessibilityTest : public ::testing::Test {
  protected:
    AccessibilityTest() {
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

struct ControlRow {
    const char* control;
    QAccessible::Role role;
    const char* name;
    const char* description;
    const char* effect;
};

class AccessibleControlTest : public AccessibilityTest,
                              public ::testing::WithParamInterface<ControlRow> {};

TEST_P(AccessibleControlTest, HasRoleGermanNameAndDescriptionAndCanBePressed) {
    const ControlRow& row = GetParam();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control(row.control));
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), row.role);
    EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(row.name));
    EXPECT_EQ(accessible->text(QAccessible::Description), QString::fromUtf8(row.description));
    EXPECT_TRUE(accessible->state().focusable);

    // A screen reader's "activate" does what a click or double-click does.
    QAccessibleActionInterface* actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    // Qt's own buttons press with a short animation.
    QTRY_COMPARE_WITH_TIMEOUT(effects().size(), size_t{1}, 2000);
    EXPECT_EQ(effects().front(), QString::fromLatin1(row.effect));
}

INSTANTIATE_TEST_SUITE_P(
    Controls, AccessibleControlTest,
    ::testing::Values(
        ControlRow{"bScannen", QAccessible::Button, "Scannen",
                   "Scannt eine Seite und speichert sie im Dokumentordner", "bScannen_Click"},
        ControlRow{"bAnzeigen", QAccessible::Button, "Anzeigen",
                   "Zeigt die Seite aus der Vorschau vergrößert in einem eigenen Fenster an",
                   "bAnzeigen_Click"},
        ControlRow{"bDrucken", QAccessible::Button, "Drucken",
                   "Druckt die Seite aus der Vorschau auf dem Standarddrucker, eingepasst auf "
                   "ein Blatt",
                   "bDrucken_Click"},
        ControlRow{"BVerwaltung", QAccessible::Button, "Speichern unter",
                   "Wählt Ordner und Namen, unter denen die Seite gespeichert wird",
                   "BVerwaltung_Click"},
        ControlRow{"PHilfe", QAccessible::Button, "Hilfe",
                   "Zeigt einen Hinweis, wie die Vorschau vergrößert wird", "hint"},
        ControlRow{"Picture2", QAccessible::Graphic, "Vorschau",
                   "Zeigt die aktuelle Seite. Eingabetaste oder Doppelklick: Seite vergrößern, "
                   "bei leerer Vorschau ein gespeichertes Bild öffnen",
                   "Picture2_DblClick"}),
    [](const auto& info) { return std::string(info.param.control); });

TEST_F(AccessibilityTest, PreviewOffersTheRightButtonPressAsItsMenuAction) {
    QAccessibleActionInterface* actions =
        QAccessible::queryAccessibleInterface(root.Picture2())->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_EQ(operations.calls, std::vector<QString>{"Picture2_MouseDown"});
}

struct KeyRow {
    const char* name;
    const char* control;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* effect;
};

class KeyboardTest : public AccessibilityTest, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(KeyboardTest, KeyOnTheFocusedControlDoesWhatTheMouseDoes) {
    const KeyRow& row = GetParam();
    QWidget* target = control(row.control);
    target->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), target);
    QTest::keyClick(target, row.key, row.modifiers);
    EXPECT_EQ(effects(), std::vector<QString>{QString::fromLatin1(row.effect)});
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyboardTest,
    ::testing::Values(
        // The three picture buttons are alike; Scannen stands for them.
        KeyRow{"ScanEnter", "bScannen", Qt::Key_Return, Qt::NoModifier, "bScannen_Click"},
        KeyRow{"ScanSpace", "bScannen", Qt::Key_Space, Qt::NoModifier, "bScannen_Click"},
        KeyRow{"ShowKeypadEnter", "bAnzeigen", Qt::Key_Enter, Qt::KeypadModifier,
               "bAnzeigen_Click"},
        KeyRow{"SaveAsSpace", "BVerwaltung", Qt::Key_Space, Qt::NoModifier, "BVerwaltung_Click"},
        KeyRow{"HelpEnter", "PHilfe", Qt::Key_Return, Qt::NoModifier, "hint"},
        KeyRow{"HelpSpace", "PHilfe", Qt::Key_Space, Qt::NoModifier, "hint"},
        KeyRow{"PreviewEnter", "Picture2", Qt::Key_Return, Qt::NoModifier, "Picture2_DblClick"},
        KeyRow{"PreviewShiftF10", "Picture2", Qt::Key_F10, Qt::ShiftModifier,
               "Picture2_MouseDown"}),
    test::byName);

TEST_F(AccessibilityTest, HeldKeyPressesOnceAndOtherKeysDoNothing) {
    root.bScannen()->setFocus(Qt::TabFocusReason);
    QTest::keyPress(root.bScannen(), Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(root.bScannen(), &repeat);
    root.Picture2()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(root.Picture2(), Qt::Key_Space);
    QTest::keyClick(root.Picture2(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(operations.calls, std::vector<QString>{"bScannen_Click"});
}

TEST_F(AccessibilityTest, MenuKeyOnThePreviewIsARightButtonPress) {
    root.Picture2()->setFocus(Qt::TabFocusReason);
    QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                   root.Picture2()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(root.Picture2(), &fromKeyboard);
    EXPECT_EQ(operations.calls, std::vector<QString>{"Picture2_MouseDown"});
}

TEST_F(AccessibilityTest, TabReachesEveryVisibleControlInTheWindowsOrder) {
    std::vector<QString> visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, (std::vector<QString>{"tBilddatei", "BVerwaltung", "bScannen", "bAnzeigen",
                                             "bDrucken", "Picture2", "PHilfe", "tBilddatei"}));
}

TEST_F(AccessibilityTest, ClickOnThePreviewOrHelpLeavesTheFocusInTheNameField) {
    QTest::mouseClick(root.Picture2(), Qt::LeftButton);
    QTest::mouseClick(root.PHilfe(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

TEST_F(AccessibilityTest, FocusIsInTheNameFieldAfterTheStartUpDialogs) {
    QTemporaryDir temp;
    Startup startup{root, fakes.services, operations, temp.filePath("ornavex.ini")};
    // The scanner choice at the end of start-up leaves the focus elsewhere.
    operations.onTwainQuelle = [this] { root.bDrucken()->setFocus(); };
    fakes.messages->answer(MessageAnswer::Cancel);
    startup.restoreDocumentState();
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

}  // namespace
}  // namespace ornavex
