#include "platform/qt_message_boxes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include "tests/support/rows.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

// What the user does in the open box: click a button by its text, or press a key.
struct ChoiceRow {
    const char* name;
    const char* button;  // nullptr: press `key`
    Qt::Key key;
    MessageAnswer expected;
};

struct UserAnswer {
    MessageAnswer answer;
    QStringList offered;  // the buttons' captions, sorted
    bool acted = false;
    bool answered = false;
    bool modal = false;
};

QMessageBox* openBox() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box && box->isVisible()) return box;
    }
    return nullptr;
}

// Asks, and once the box is open does what the row says; the answer must come
// by the handler, after ask() has returned.
UserAnswer answerBox(const MessageBoxRequest& request, const ChoiceRow& row) {
    UserAnswer result;
    QWidget owner;
    QtMessageBoxes boxes;
    boxes.setOwner(&owner);
    boxes.ask(request, [&result](MessageAnswer answer) {
        result.answer = answer;
        result.answered = true;
    });
    EXPECT_FALSE(result.answered) << "answered before the user did anything";
    QMessageBox* box = nullptr;
    if (!test::waitUntil([&box] { return (box = openBox()) != nullptr; })) return result;
    // A modal box would keep the window manager's close from the main window.
    result.modal = QApplication::activeModalWidget() != nullptr;
    result.acted = true;
    for (QAbstractButton* button : box->buttons()) {
        result.offered << button->text();
        if (row.button && button->text() == QString::fromUtf8(row.button)) button->click();
    }
    if (!row.button) QTest::keyClick(box, row.key);
    test::waitUntil([&result] { return result.answered; });
    if (!result.answered) box->close();
    result.offered.sort();
    return result;
}

class RetryElsewhereCancelTest : public ::testing::TestWithParam<ChoiceRow> {};

TEST_P(RetryElsewhereCancelTest, AnswersWhatTheUserChose) {
    const UserAnswer user = answerBox(
        {" Ornavex", "Die Bilddatei konnte nicht gespeichert werden.", MessageIcon::Exclamation,
         MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry},
        GetParam());
    ASSERT_TRUE(user.acted);
    EXPECT_TRUE(user.answered) << "the box ignored what the user did";
    EXPECT_FALSE(user.modal);
    EXPECT_EQ(user.offered, (QStringList{"Abbrechen", "Anderer Ort …", "Wiederholen"}));
    EXPECT_EQ(user.answer, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Choices, RetryElsewhereCancelTest,
                         ::testing::Values(ChoiceRow{"Elsewhere", "Anderer Ort …", Qt::Key_unknown,
                                                     MessageAnswer::Elsewhere},
                                           ChoiceRow{"Escape", nullptr, Qt::Key_Escape,
                                                     MessageAnswer::Cancel}),
                         test::byName);

// Enter takes the answer the question names as its default, also where that is
// not the first button: a hasty Enter must not confirm what the program advises against.
TEST(QtMessageBoxesTest, EnterTakesTheDefaultAnswer) {
    for (const auto& [buttons, defaultAnswer] :
         {std::pair{MessageButtons::OkCancel, MessageAnswer::Cancel},
          std::pair{MessageButtons::YesNo, MessageAnswer::No},
          std::pair{MessageButtons::YesNo, MessageAnswer::Yes},
          std::pair{MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry}}) {
        const UserAnswer user =
            answerBox({" Ornavex", "Frage", MessageIcon::Question, buttons, defaultAnswer},
                      ChoiceRow{"Enter", nullptr, Qt::Key_Return, defaultAnswer});
        ASSERT_TRUE(user.acted);
        EXPECT_TRUE(user.answered);
        EXPECT_EQ(user.answer, defaultAnswer) << user.offered.join(", ").toStdString();
    }
}

}  // namespace
}  // namespace ornavex
