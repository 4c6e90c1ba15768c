#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <functional>

#include "platform/qt_desktop.h"
#include "platform/sane_device.h"
#include "platform/sane_scanner_library.h"
#include "platform/sane_session.h"
#include "platform/scanner_acquire_dialog.h"
#include "platform/scanner_source_dialog.h"

namespace ornavex {
namespace {

// Runs the step on the modal dialog of that kind once it is up; the watch ends
// with the scope, so it never reaches into a later test.
template <typename Dialog>
void whenShown(QObject& scope, std::function<void(Dialog&)> step) {
    auto* timer = new QTimer(&scope);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            step(*dialog);
        }
    });
    timer->start(20);
}

QPushButton* button(QWidget& dialog, const QString& text) {
    for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
        if (candidate->text() == text) return candidate;
    }
    return nullptr;
}

// Picks a device once the search has listed it.
void chooseWhenListed(ScannerSourceDialog& dialog, const QString& device, bool confirm) {
    auto* timer = new QTimer(&dialog);
    QObject::connect(timer, &QTimer::timeout, &dialog, [&dialog, timer, device, confirm] {
        auto* list = dialog.findChild<QTreeWidget*>("geraeteListe");
        if (dialog.isSearching() || !list) return;
        timer->stop();
        const auto found = list->findItems(device, Qt::MatchExactly, 2);
        if (!found.isEmpty()) list->setCurrentItem(found.first());
        button(dialog, confirm ? "OK" : "Abbrechen")->click();
    });
    timer->start(20);
}

class SaneDialogsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
    }
    QWidget owner;
    QtClipboard clipboard;
    QObject scope;
};

TEST_F(SaneDialogsTest, ScansAChosenDeviceOntoTheClipboard) {
    SaneScannerLibrary library(clipboard);
    EXPECT_EQ(library.acquireToClipboard(&owner), AcquireOutcome::NoSource);

    whenShown<ScannerSourceDialog>(
        scope, [](ScannerSourceDialog& dialog) { chooseWhenListed(dialog, "test:1", true); });
    EXPECT_NE(library.selectImageSource(&owner), 0);
    EXPECT_EQ(library.chosenDevice(), "test:1");

    clipboard.setImage(QImage(5, 5, QImage::Format_RGB888));
    whenShown<ScannerAcquireDialog>(scope, [](ScannerAcquireDialog& dialog) {
        QStringList offered;
        QStringList preselected;
        for (QComboBox* box : dialog.findChildren<QComboBox*>()) {
            for (int i = 0; i < box->count(); ++i) offered << box->itemText(i);
            preselected << box->currentText();
            const int gray = box->findText("Graustufen");
            if (gray >= 0) box->setCurrentIndex(gray);
        }
        for (const char* label : {"Farbe", "Graustufen", "Flachbett", "Einzug", "75 dpi"}) {
            EXPECT_TRUE(offered.contains(label)) << label;
        }
        EXPECT_TRUE(preselected.contains("300 dpi")) << preselected.join(",").toStdString();
        button(dialog, "Scannen")->click();
    });
    EXPECT_EQ(library.acquireToClipboard(&owner), AcquireOutcome::NewPage);
    const QImage page = clipboard.image();
    // The whole 297 x 297 mm at the preselected 300 dpi, solid black.
    EXPECT_EQ(page.size(), QSize(3507, 3507));
    EXPECT_EQ(page.dotsPerMeterX(), 11811);
    EXPECT_EQ(page.pixel(1000, 2000), qRgb(0, 0, 0));
    EXPECT_TRUE(page.allGray());
}

TEST_F(SaneDialogsTest, CancelledChoiceKeepsNoSource) {
    SaneScannerLibrary library(clipboard);
    whenShown<ScannerSourceDialog>(
        scope, [](ScannerSourceDialog& dialog) { chooseWhenListed(dialog, "test:0", false); });
    EXPECT_EQ(library.selectImageSource(&owner), 0);
    EXPECT_EQ(library.acquireToClipboard(&owner), AcquireOutcome::NoSource);
}

TEST_F(SaneDialogsTest, AbbrechenStopsARunningScanSilently) {
    SaneSession session;
    SaneSession::Opened opened = session.open("test:0");
    ASSERT_EQ(opened.status, DeviceStatus::Good);
    SaneDevice& device = *opened.device;
    // A slow, small page: the dialog is still reading when Abbrechen is pressed.
    ASSERT_EQ(device.setNumber("br-x", 50).status, DeviceStatus::Good);
    ASSERT_EQ(device.setBool("read-delay", true).status, DeviceStatus::Good);
    ASSERT_EQ(device.setNumber("read-delay-duration", 200000).status, DeviceStatus::Good);
    ASSERT_EQ(device.setBool("read-limit", true).status, DeviceStatus::Good);
    ASSERT_EQ(device.setNumber("read-limit-size", 1024).status, DeviceStatus::Good);
    ScanSettings settings;
    ScannerAcquireDialog dialog(device, settings, "Test", &owner);
    bool messageShown = false;
    whenShown<ScannerAcquireDialog>(scope, [&](ScannerAcquireDialog& shown) {
        button(shown, "Scannen")->click();
        QTimer::singleShot(500, &shown, [&shown] { button(shown, "Abbrechen")->click(); });
    });
    whenShown<QMessageBox>(scope, [&](QMessageBox& box) {
        messageShown = true;
        box.accept();
    });
    EXPECT_EQ(dialog.exec(), ScannerAcquireDialog::Cancelled);
    EXPECT_FALSE(messageShown);
    EXPECT_TRUE(dialog.page().isNull());
    EXPECT_EQ(device.cancelCount(), 1);
}

TEST_F(SaneDialogsTest, AcquireDialogSaysThatTheFeederIsEmptyAfterTenPages) {
    SaneSession session;
    SaneSession::Opened opened = session.open("test:0");
    ASSERT_EQ(opened.status, DeviceStatus::Good);
    SaneDevice& device = *opened.device;
    ASSERT_EQ(device.setText("source", "Automatic Document Feeder").status, DeviceStatus::Good);
    ASSERT_EQ(device.setNumber("resolution", 10).status, DeviceStatus::Good);
    const std::atomic<bool> noCancel = false;
    for (int page = 0; page < 10; ++page)
        ASSERT_EQ(device.scanPage({}, noCancel).status, DeviceStatus::Good);
    ScanSettings settings;
    ScannerAcquireDialog dialog(device, settings, "Test", &owner);
    QString message;
    whenShown<ScannerAcquireDialog>(scope, [&](ScannerAcquireDialog& shown) {
        whenShown<QMessageBox>(scope, [&](QMessageBox& box) {
            message = box.windowTitle() + "|" + box.text();
            box.accept();
        });
        EXPECT_EQ(shown.findChild<QComboBox*>("quelle")->currentText(), "Einzug");
        button(shown, "Scannen")->click();
    });
    EXPECT_EQ(dialog.exec(), ScannerAcquireDialog::Failed);
    EXPECT_EQ(message,
              " Ornavex|Im Einzug liegen keine Dokumente.\nBitte legen Sie die Seiten ein "
              "und scannen Sie erneut.");
    EXPECT_TRUE(dialog.page().isNull());
    EXPECT_EQ(device.cancelCount(), 11);
}

}  // namespace
}  // namespace ornavex
