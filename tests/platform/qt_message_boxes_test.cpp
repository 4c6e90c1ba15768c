#include "platform/qt_message_boxes.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "tests/support/rows.h"

namespace ornavex {
namespace {

// What the user does in the open box: click a button by its text, or press a key.
struct ChoiceRow {
    const char* name;
    const char* button;  // nullptr: press `key`
    Qt::Key key;
    MessageAnswer expected;
};

class RetryElsewhereCancelTest : public ::testing::TestWithParam<ChoiceRow> {};

TEST_P(RetryElsewhereCancelTest, AnswersWhatTheUserChose) {
    const ChoiceRow& row = GetParam();
    QStringList offered;
    bool acted = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || acted) return;
        acted = true;
        for (QAbstractButton* button : box->buttons()) {
            offered << button->text();
            if (row.button && button->text() == QString::fromUtf8(row.button)) button->click();
        }
        if (!row.button) QTest::keyClick(box, row.key);
    });
    user.start(10);
    // A box that no action closed would hang the test; closing it counts as a failure.
    bool closedByDeadline = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        closedByDeadline = true;
        if (QWidget* open = QApplication::activeModalWidget()) open->close();
    });
    deadline.start(10'000);

    QtMessageBoxes boxes;
    const MessageAnswer answer = boxes.show(
        {" Ornavex", "Die Bilddatei konnte nicht gespeichert werden.", MessageIcon::Exclamation,
         MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry});

    ASSERT_TRUE(acted);
    EXPECT_FALSE(closedByDeadline) << "the box ignored what the user did";
    offered.sort();
    EXPECT_EQ(offered, (QStringList{"Abbrechen", "Anderer Ort …", "Wiederholen"}));
    EXPECT_EQ(answer, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Choices, RetryElsewhereCancelTest,
                         ::testing::Values(ChoiceRow{"Elsewhere", "Anderer Ort …", Qt::Key_unknown,
                                                     MessageAnswer::Elsewhere},
                                           ChoiceRow{"Escape", nullptr, Qt::Key_Escape,
                                                     MessageAnswer::Cancel},
                                           ChoiceRow{"EnterTakesTheDefault", nullptr,
                                                     Qt::Key_Return, MessageAnswer::Retry}),
                         test::byName);

}  // namespace
}  // namespace ornavex
