#include "scan/scan_commands.h"

#include <limits>
#include <utility>

#include "files/document_files.h"
#include "platform/platform_services.h"
#include "shell/folder_text.h"
#include "shell/user_texts.h"

namespace ornavex {

ScanCommands::ScanCommands(State& state, PlatformServices& platform, DocumentFiles& files,
                           std::function<void()> markSecondPage)
    : state_(state),
      platform_(platform),
      files_(files),
      markSecondPage_(std::move(markSecondPage)) {}

void ScanCommands::showFirstUseHintOnce() {
    if (state_.scannerChoice() != ScannerChoice::NotYetAsked) return;
    platform_.messageBoxes->show(
        {messageTitle(), chooseScannerHint(), MessageIcon::Information, MessageButtons::Ok});
    state_.setScannerChoice(ScannerChoice::None);
}

void ScanCommands::TwainQuelle(CommandRun run, std::function<void()> then) {
    chooseSource();
    run.reset();
    if (then) then();
}

short ScanCommands::chooseSource() {
    showFirstUseHintOnce();

    const int chosen = platform_.scanner->selectImageSource(nullptr);
    if (chosen == 0) {
        platform_.messageBoxes->show({chooseScannerTitle(), noScannerChosenText(),
                                      MessageIcon::Exclamation, MessageButtons::Ok});
        state_.setScannerChoice(ScannerChoice::None);
        state_.requestFocus(FocusTarget::FileName);
        return 0;
    }
    state_.setScannerChoice(ScannerChoice::Chosen);
    if (chosen < std::numeric_limits<short>::min() || chosen > std::numeric_limits<short>::max()) {
        return 1;
    }
    return static_cast<short>(chosen);
}

bool ScanCommands::TwainScan() {
    showFirstUseHintOnce();
    if (state_.scannerChoice() == ScannerChoice::None) {
        if (chooseSource() == 0) return false;
        const MessageAnswer answer = platform_.messageBoxes->show(
            {messageTitle(), insertDocumentText(), MessageIcon::Exclamation,
             MessageButtons::OkCancel, MessageAnswer::Ok});
        if (answer != MessageAnswer::Ok) return false;
    }

    // Only the page this acquisition handed back may replace the preview.
    Acquisition acquisition = platform_.scanner->acquire(nullptr);
    const AcquireOutcome outcome = acquisition.outcome;
    // A lost scanner must be chosen again before the next page; a page that had
    // arrived is stored first, which the flag would prevent.
    if (outcome == AcquireOutcome::ScannerLost) state_.setScannerChoice(ScannerChoice::None);
    if (outcome == AcquireOutcome::NewPageScannerLost) sourceLostAfterPage_ = true;
    if (outcome != AcquireOutcome::NewPage && outcome != AcquireOutcome::NewPageScannerLost) {
        return false;
    }
    if (acquisition.page.isNull()) return false;
    state_.setPage(std::move(acquisition.page));
    return true;
}

// Whether the scan may go on. A folder that does not answer is asked again, or
// another place is chosen, or the command ends before anything is scanned.
bool ScanCommands::offerSaveAsForATakenName(const CommandRun& run) {
    while (true) {
        const FolderAnswer taken = platform_.folder->fileExists(state_.pagePath());
        if (taken == FolderAnswer::No) return true;
        if (taken == FolderAnswer::Yes) {
            platform_.messageBoxes->show(
                {messageTitle(), nameTakenText(), MessageIcon::Exclamation, MessageButtons::Ok});
            files_.BVerwaltung_Click(run);
            return true;
        }
        const MessageAnswer answer = platform_.messageBoxes->show(
            {messageTitle(), unansweredFolderBeforeScanText(state_.folder()),
             MessageIcon::Exclamation, MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry});
        if (answer == MessageAnswer::Elsewhere) {
            files_.BVerwaltung_Click(run);
            return true;
        }
        if (answer != MessageAnswer::Retry) return false;
    }
}

void ScanCommands::scanAndStore(const CommandRun& run) {
    state_.setFolder(withTrailingSeparator(state_.folder()));
    if (!offerSaveAsForATakenName(run)) return;
    if (TwainScan()) files_.TwainCopy();
    if (std::exchange(sourceLostAfterPage_, false)) state_.setScannerChoice(ScannerChoice::None);
}

void ScanCommands::bScannen_Click(CommandRun run) {
    scanAndStore(run);
}

void ScanCommands::bAssistent_Click(CommandRun run) {
    scanAndStore(run);
    markSecondPage_();
    scanAndStore(run);
}

}  // namespace ornavex
