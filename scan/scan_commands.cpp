#include "scan/scan_commands.h"

#include <QLineEdit>
#include <QToolButton>
#include <limits>
#include <utility>

#include "platform/platform_services.h"
#include "shell/folder_text.h"
#include "shell/root.h"
#include "shell/root_operations.h"
#include "shell/user_texts.h"
#include "widgets/image_control.h"

namespace ornavex {

ScanCommands::ScanCommands(Root& root, PlatformServices& platform, RootOperations& operations)
    : root_(root), platform_(platform), operations_(operations) {}

void ScanCommands::showFirstUseHintOnce() {
    if (root_.scannerFlag() != Root::kNoChoiceYet) return;
    platform_.messageBoxes->show(
        {messageTitle(), chooseScannerHint(), MessageIcon::Information, MessageButtons::Ok});
    root_.setScannerFlag(Root::kNoSource);
}

short ScanCommands::TwainQuelle() {
    showFirstUseHintOnce();
    if (!root_.isVisible()) root_.show();

    const int chosen = platform_.scanner->selectImageSource(&root_);
    if (chosen == 0) {
        platform_.messageBoxes->show({chooseScannerTitle(), noScannerChosenText(),
                                      MessageIcon::Exclamation, MessageButtons::Ok});
        root_.setScannerFlag(Root::kNoSource);
        root_.tBilddatei()->setFocus();
        return 0;
    }
    root_.setScannerFlag(Root::kSourceChosen);
    if (chosen < std::numeric_limits<short>::min() || chosen > std::numeric_limits<short>::max()) {
        return 1;
    }
    return static_cast<short>(chosen);
}

bool ScanCommands::TwainScan() {
    showFirstUseHintOnce();
    if (root_.scannerFlag() == Root::kNoSource) {
        if (TwainQuelle() == 0) return false;
        const MessageAnswer answer = platform_.messageBoxes->show(
            {messageTitle(), insertDocumentText(), MessageIcon::Exclamation,
             MessageButtons::OkCancel, MessageAnswer::Ok});
        if (answer != MessageAnswer::Ok) return false;
    }

    // Only the page this acquisition handed back may replace the preview.
    Acquisition acquisition = platform_.scanner->acquire(&root_);
    const AcquireOutcome outcome = acquisition.outcome;
    // A lost scanner must be chosen again before the next page; a page that had
    // arrived is stored first, which the flag would prevent.
    if (outcome == AcquireOutcome::ScannerLost) root_.setScannerFlag(Root::kNoSource);
    if (outcome == AcquireOutcome::NewPageScannerLost) sourceLostAfterPage_ = true;
    if (outcome != AcquireOutcome::NewPage && outcome != AcquireOutcome::NewPageScannerLost) {
        return false;
    }
    if (acquisition.page.isNull()) return false;
    root_.setPage(std::move(acquisition.page));
    return true;
}

// Whether the scan may go on. A folder that does not answer is asked again, or
// another place is chosen, or the command ends before anything is scanned.
bool ScanCommands::offerSaveAsForATakenName() {
    while (true) {
        const FolderAnswer taken = platform_.folder->fileExists(root_.pagePath());
        if (taken == FolderAnswer::No) return true;
        if (taken == FolderAnswer::Yes) {
            platform_.messageBoxes->show(
                {messageTitle(), nameTakenText(), MessageIcon::Exclamation, MessageButtons::Ok});
            operations_.BVerwaltung_Click();
            return true;
        }
        const MessageAnswer answer = platform_.messageBoxes->show(
            {messageTitle(), unansweredFolderBeforeScanText(root_.folder()),
             MessageIcon::Exclamation, MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry});
        if (answer == MessageAnswer::Elsewhere) {
            operations_.BVerwaltung_Click();
            return true;
        }
        if (answer != MessageAnswer::Retry) return false;
    }
}

void ScanCommands::bScannen_Click() {
    root_.setFolder(withTrailingSeparator(root_.folder()));
    if (!offerSaveAsForATakenName()) return;
    if (operations_.TwainScan()) operations_.TwainCopy();
    if (std::exchange(sourceLostAfterPage_, false)) root_.setScannerFlag(Root::kNoSource);
}

void ScanCommands::bAssistent_Click() {
    if (!root_.bScannen()->isEnabled()) return;
    bScannen_Click();
    operations_.mnuSeite2_Click();
    bScannen_Click();
}

}  // namespace ornavex
