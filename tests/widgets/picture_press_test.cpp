// The picture controls pressed from the keyboard and by a screen reader: the
// same press as with the mouse, once for a held key, never while disabled.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>

#include "widgets/accessible_picture.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

// What the help picture and then the preview answer, parted by "|": "press" is
// the help picture's click, "open" the preview's double-click.
TEST(PicturePressTest, HelpPictureAndPreviewAnswerAsTheirMousePress) {
    AccessiblePicture::install();
    const struct {
        const char* name;
        const char* expected;
        Qt::Key key;  // none: a screen reader's press
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        bool held = false;
        bool enabled = true;
    } rows[] = {
        {"Return", "press|open", Qt::Key_Return},
        {"KeypadEnter", "press|open", Qt::Key_Enter, Qt::KeypadModifier},
        {"Space", "press|", Qt::Key_Space},
        {"HeldKeyPressesOnlyOnce", "|", Qt::Key_Return, Qt::NoModifier, true},
        {"ControlReturnIsNoPress", "|", Qt::Key_Return, Qt::ControlModifier},
        {"ScreenReaderPress", "press|open", Qt::Key_unknown},
        {"DisabledIgnoresTheScreenReader", "|", Qt::Key_unknown, Qt::NoModifier, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PictureBox help;
        help.setActsAsButton(true);
        ImageControl preview;
        QStringList seen;
        QObject::connect(&help, &PictureBox::clicked, [&] { seen << "press"; });
        QObject::connect(&preview, &ImageControl::doubleClicked, [&] { seen << "open"; });
        auto press = [&](QWidget& control) {
            control.setEnabled(row.enabled);
            QKeyEvent key(QEvent::KeyPress, row.key, row.modifiers, QString(), row.held);
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&control);
            if (row.key != Qt::Key_unknown) {
                QApplication::sendEvent(&control, &key);
            } else if (accessible && accessible->actionInterface()) {
                accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            }
        };
        press(help);
        seen << "|";
        press(preview);
        EXPECT_EQ(seen.join(""), row.expected);
    }
}

}  // namespace
}  // namespace ornavex
