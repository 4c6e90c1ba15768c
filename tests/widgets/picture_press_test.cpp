// The picture controls pressed from the keyboard and by a screen reader: the
// same press as with the mouse, once for a held key, never while disabled.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>

#include "tests/support/rows.h"
#include "widgets/accessible_picture.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

using Action = const QString& (*)();
const Action kPress = &QAccessibleActionInterface::pressAction;

// What the user does to the control: a key, or a screen reader's action; what
// the help picture and then the preview answered, parted by "|".
struct PressRow {
    const char* name;
    const char* expected;
    Qt::Key key = Qt::Key_unknown;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    bool held = false;
    Action action = nullptr;  // instead of a key
    bool enabled = true;
};

PressRow keyRow(const char* name, const char* expected, Qt::Key key,
                Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool held = false) {
    return {name, expected, key, modifiers, held};
}

PressRow readerRow(const char* name, const char* expected, Action action, bool enabled = true) {
    return {name, expected, Qt::Key_unknown, Qt::NoModifier, false, action, enabled};
}

// Records presses as "press" (help picture) and "open" (preview double-click).
class PicturePressTest : public ::testing::TestWithParam<PressRow> {
  protected:
    static void SetUpTestSuite() { AccessiblePicture::install(); }

    PicturePressTest() {
        help_.setActsAsButton(true);
        QObject::connect(&help_, &PictureBox::clicked, [this] { seen_ << "press"; });
        QObject::connect(&preview_, &ImageControl::doubleClicked, [this] { seen_ << "open"; });
    }

    QStringList pressOn(QWidget& control) {
        const PressRow& row = GetParam();
        control.setEnabled(row.enabled);
        if (row.action) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&control);
            if (!accessible || !accessible->actionInterface()) return {"no actions"};
            accessible->actionInterface()->doAction(row.action());
        } else {
            QKeyEvent key(QEvent::KeyPress, row.key, row.modifiers, QString(), row.held);
            QApplication::sendEvent(&control, &key);
        }
        return seen_;
    }

    PictureBox help_;
    ImageControl preview_;
    QStringList seen_;
};

TEST_P(PicturePressTest, HelpPictureAndPreviewAnswerAsTheirMousePress) {
    const QStringList helpSeen = pressOn(help_);
    seen_.clear();
    const QStringList previewSeen = pressOn(preview_);
    EXPECT_EQ((helpSeen + QStringList{"|"} + previewSeen).join(""), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, PicturePressTest,
    ::testing::Values(keyRow("Return", "press|open", Qt::Key_Return),
                      keyRow("KeypadEnter", "press|open", Qt::Key_Enter, Qt::KeypadModifier),
                      keyRow("Space", "press|", Qt::Key_Space),
                      keyRow("HeldKeyPressesOnlyOnce", "|", Qt::Key_Return, Qt::NoModifier, true),
                      keyRow("ControlReturnIsNoPress", "|", Qt::Key_Return, Qt::ControlModifier),
                      readerRow("ScreenReaderPress", "press|open", kPress),
                      readerRow("DisabledIgnoresTheScreenReader", "|", kPress, false)),
    test::byName);

}  // namespace
}  // namespace ornavex
