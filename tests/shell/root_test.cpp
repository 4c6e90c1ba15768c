#include <gtest/gtest.h>
#include <ostream>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "shell/root.h"
#include "tests/fakes/fake_platform.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

class RootTest : public ::testing::Test {
  protected:
    FakePlatform fakes;
    Root root{fakes.services};
};

TEST_F(RootTest, ShowsOnlyTheControlsMeantForTheUser) {
    root.show();
    auto visible = [this](const char* name) {
        auto* control = root.findChild<QWidget*>(QString::fromLatin1(name));
        return control != nullptr && control->isVisible();
    };
    for (const char* name : {"bScannen", "bAnzeigen", "bDrucken", "PHilfe", "BVerwaltung",
                             "Picture0", "Picture2", "RVorhanden", "tBilddatei", "RNamen"}) {
        EXPECT_TRUE(visible(name)) << name;
    }
    for (const char* name :
         {"Text1", "bAbbrechen", "bAssistent", "Picture1", "LNamen", "tOrdner"}) {
        EXPECT_FALSE(visible(name)) << name;
    }
    EXPECT_NE(root.findChild<QWidget*>("Text1"), nullptr);
}

TEST_F(RootTest, StartsWithTheDesignStateHeldInItsControls) {
    EXPECT_EQ(root.windowTitle(), "Tarnwerk Ornavex");
    EXPECT_EQ(root.size(), QSize(439, 499));  // 6585 x 7485 twips
    EXPECT_EQ(root.Text1()->text(), "$Start$");
    EXPECT_EQ(root.tOrdner()->text(), "C:\\Eigene Dateien\\");
    EXPECT_EQ(root.scannerFlag(), "-1");
    EXPECT_FALSE(root.hasPicture());
    EXPECT_EQ(root.LNamen()->currentIndex(), -1);
    EXPECT_EQ(root.RNamen()->text(), "&Dateiname:");
    EXPECT_EQ(root.bScannen()->toolTip(), "Dokument scannen");
    EXPECT_EQ(root.bAnzeigen()->toolTip(), "Dokument anzeigen");
    EXPECT_EQ(root.bDrucken()->toolTip(), "Dokument drucken");
}

TEST_F(RootTest, PageMenuHasItsCaptionsWithTheirBlanksAndShowsOnlyTheCommonItems) {
    EXPECT_EQ(root.mnuVorgaenge()->objectName(), "mnuVorgänge");
    EXPECT_EQ(root.mnuVorgaenge()->title(), "Vorgänge ");
    struct Item {
        QString name, caption;
        bool visible, enabled, checked;
    };
    const std::vector<Item> expected{
        {"mnxAnzeigen", "Vergrössern ...  ", true, true, false},
        {"Trennung1", "", true, true, false},
        {"mnuSeite1", " Festsetzung (Seite 1) ", false, true, true},
        {"mnuSeite2", "Berechnung (Seite 2) ", false, true, false},
        {"Trennung2", "", false, true, false},
        {"mnuPapierkorb", "Dokumente löschen ", true, true, false},
        {"Trennung3", "", true, true, false},
        {"mnxEmail", "E-Mail senden ...  ", true, false, false},
        {"mnxDrucken", "Drucken ", true, true, false},
    };
    const QList<QAction*> actions = root.mnuVorgaenge()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(actions[i]->objectName(), expected[i].name);
        if (!actions[i]->isSeparator()) {
            EXPECT_EQ(actions[i]->text(), expected[i].caption);
        }
        EXPECT_EQ(actions[i]->isVisible(), expected[i].visible);
        // Qt reports hidden actions as disabled; only the shown ones are meaningful.
        if (expected[i].visible) {
            EXPECT_EQ(actions[i]->isEnabled(), expected[i].enabled);
        }
        EXPECT_EQ(actions[i]->isChecked(), expected[i].checked);
    }
    EXPECT_EQ(root.mnuZubehoer()->title(), "Zubehör");
    EXPECT_EQ(root.mnuQuelle()->text(), "-1");
    // No menu bar: neither menu is attached to the window's frame.
    EXPECT_EQ(root.findChild<QMenuBar*>(), nullptr);
}

TEST_F(RootTest, AltDPutsTheFocusIntoTheFileNameField) {
    root.show();
    QApplication::setActiveWindow(&root);
    root.bScannen()->setFocus();
    QTest::keyClick(&root, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

TEST_F(RootTest, NoticeReturnsWithinOneTimerIntervalOfThePictureGoing) {
    root.show();
    root.Picture2()->setPicture(QImage(10, 10, QImage::Format_RGB32));
    QTRY_VERIFY_WITH_TIMEOUT(!root.RVorhanden()->isVisible(), 400);
    root.Picture2()->clearPicture();
    QTRY_VERIFY_WITH_TIMEOUT(root.RVorhanden()->isVisible(), 400);
}

TEST_F(RootTest, HelpPictureShowsTheHintWithItsTitle) {
    root.show();
    QTest::mouseClick(root.PHilfe(), Qt::LeftButton);
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& box = fakes.messages->shown()[0];
    EXPECT_EQ(box.title, " Hilfethemen");
    EXPECT_EQ(box.text, "Klicken Sie die Vorschau doppelt an, um sie zu vergrößern.    ");
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
}

struct RemoteRow {
    const char* text;
    bool ends;
};

void PrintTo(const RemoteRow& row, std::ostream* out) {
    *out << '"' << row.text << '"';
}

class RemoteControlTest : public RootTest, public ::testing::WithParamInterface<RemoteRow> {};

TEST_P(RemoteControlTest, OnlyTheExactEndCommandEndsTheProcess) {
    root.Text1()->setText(QString::fromUtf8(GetParam().text));
    if (GetParam().ends) {
        EXPECT_EQ(fakes.process->terminations, std::vector<int>{0});
    } else {
        EXPECT_TRUE(fakes.process->terminations.empty());
    }
    EXPECT_TRUE(fakes.process->quits.empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, RemoteControlTest,
                         ::testing::Values(RemoteRow{"$Ende$", true}, RemoteRow{"$ende$", false},
                                           RemoteRow{"$Ende$ ", false}, RemoteRow{"Ende", false}));

TEST_F(RootTest, ClosingTheWindowOrTheHiddenCancelEndsTheProgramAfterOneYield) {
    root.show();
    root.close();
    EXPECT_EQ(fakes.process->quits, std::vector<int>{0});
    EXPECT_GE(fakes.events->yields, 1);
    root.bAbbrechen()->click();
    EXPECT_EQ(fakes.process->quits, (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace ornavex
