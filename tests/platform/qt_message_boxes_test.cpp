#include "platform/qt_message_boxes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <optional>

#include "tests/support/wait.h"

namespace ornavex {
namespace {

// Each row: the question's buttons and default answer, what the user does in the
// open box (clicks the button of that caption, else presses the key), and the
// answer, which comes by the handler after ask() has returned. Enter takes the
// default, also where that is not the first button: a hasty Enter must not
// confirm what the program advises against.
TEST(QtMessageBoxesTest, AnswersWhatTheUserChose) {
    using enum MessageAnswer;
    constexpr auto retryElsewhereCancel = MessageButtons::RetryElsewhereCancel;
    for (const auto& [buttons, defaultAnswer, caption, key, expected] : std::initializer_list<
             std::tuple<MessageButtons, MessageAnswer, const char*, Qt::Key, MessageAnswer>>{
             {retryElsewhereCancel, Retry, "Anderer Ort …", Qt::Key_unknown, Elsewhere},
             {retryElsewhereCancel, Retry, nullptr, Qt::Key_Escape, Cancel},
             {retryElsewhereCancel, Retry, nullptr, Qt::Key_Return, Retry},
             {MessageButtons::OkCancel, Cancel, nullptr, Qt::Key_Return, Cancel},
             {MessageButtons::YesNo, No, nullptr, Qt::Key_Return, No},
             {MessageButtons::YesNo, Yes, nullptr, Qt::Key_Return, Yes}}) {
        SCOPED_TRACE(int(expected));
        QWidget owner;
        QtMessageBoxes boxes;
        boxes.setOwner(&owner);
        std::optional<MessageAnswer> answer;
        boxes.ask({" Ornavex", "Frage", MessageIcon::Question, buttons, defaultAnswer},
                  [&answer](MessageAnswer given) { answer = given; });
        EXPECT_FALSE(answer) << "answered before the user did anything";
        QMessageBox* box = nullptr;
        // Owned by the window it was asked from, so it stays in front of it.
        ASSERT_TRUE(test::waitUntil(
            [&] { return (box = owner.findChild<QMessageBox*>()) && box->isVisible(); }));
        // A modal box would keep the window manager's close from the main window.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        QStringList offered;
        for (QAbstractButton* button : box->buttons()) {
            offered << button->text();
            if (caption && button->text() == QString::fromUtf8(caption)) button->click();
        }
        if (!caption) QTest::keyClick(box, key);
        test::waitUntil([&answer] { return answer.has_value(); });
        EXPECT_EQ(answer, expected) << "none: the box ignored what the user did";
        offered.sort();
        if (buttons == retryElsewhereCancel) {
            EXPECT_EQ(offered, (QStringList{"Abbrechen", "Anderer Ort …", "Wiederholen"}));
        }
    }
}

}  // namespace
}  // namespace ornavex
