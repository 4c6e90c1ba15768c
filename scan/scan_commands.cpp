#include "scan/scan_commands.h"

#include <utility>

#include "files/document_files.h"
#include "shell/folder_text.h"
#include "shell/platform_services.h"
#include "shell/user_texts.h"

namespace ornavex {

ScanCommands::ScanCommands(State& state, PlatformServices& platform, DocumentFiles& files)
    : state_(state), platform_(platform), files_(files) {}

void ScanCommands::showFirstUseHintOnce(CommandRun run, Done then) {
    if (state_.scannerChoice() != ScannerChoice::NotYetAsked) return then();
    platform_.messageBoxes->ask(
        {messageTitle(), chooseScannerHint(), MessageIcon::Information, MessageButtons::Ok},
        [this, run, then](MessageAnswer) {
            state_.setScannerChoice(ScannerChoice::None);
            then();
        });
}

void ScanCommands::TwainQuelle(CommandRun run, Done then) {
    showFirstUseHintOnce(run, [this, run, then] {
        platform_.scanner->askImageSource([this, run, then](int chosen) {
            if (chosen != 0) {
                state_.setScannerChoice(ScannerChoice::Chosen);
                return then();
            }
            platform_.messageBoxes->ask({chooseScannerTitle(), noScannerChosenText(),
                                         MessageIcon::Exclamation, MessageButtons::Ok},
                                        [this, run, then](MessageAnswer) {
                                            state_.setScannerChoice(ScannerChoice::None);
                                            state_.requestFocus(FocusTarget::FileName);
                                            then();
                                        });
        });
    });
}

void ScanCommands::TwainScan(CommandRun run, std::function<void(bool newPage)> then) {
    showFirstUseHintOnce(run, [this, run, then] {
        if (state_.scannerChoice() != ScannerChoice::None) return acquire(run, then);
        TwainQuelle(run, [this, run, then] {
            if (state_.scannerChoice() != ScannerChoice::Chosen) return then(false);
            platform_.messageBoxes->ask(
                {messageTitle(), insertDocumentText(), MessageIcon::Exclamation,
                 MessageButtons::OkCancel, MessageAnswer::Ok},
                [this, run, then](MessageAnswer answer) {
                    if (answer != MessageAnswer::Ok) return then(false);
                    acquire(run, then);
                });
        });
    });
}

void ScanCommands::acquire(CommandRun run, std::function<void(bool newPage)> then) {
    platform_.scanner->askAcquire([this, run, then](Acquisition acquisition) {
        takeAcquisition(std::move(acquisition), then);
    });
}

// Only the page this acquisition handed back may replace the preview.
void ScanCommands::takeAcquisition(Acquisition acquisition,
                                   std::function<void(bool newPage)> then) {
    const AcquireOutcome outcome = acquisition.outcome;
    // A lost scanner must be chosen again before the next page; a page that had
    // arrived is stored first, which the choice being gone would prevent.
    if (outcome == AcquireOutcome::ScannerLost) state_.setScannerChoice(ScannerChoice::None);
    if (outcome == AcquireOutcome::NewPageScannerLost) sourceLostAfterPage_ = true;
    if (outcome != AcquireOutcome::NewPage && outcome != AcquireOutcome::NewPageScannerLost) {
        return then(false);
    }
    if (acquisition.page.isNull()) return then(false);
    state_.setPage(std::move(acquisition.page));
    then(true);
}

void ScanCommands::offerSaveAsForATakenName(CommandRun run, std::function<void(bool goOn)> then) {
    if (state_.folder().isEmpty()) return then(true);  // the store asks for a folder first
    auto saveAsThenGoOn = [this, run, then] { files_.saveAs(run, [then](bool) { then(true); }); };
    platform_.folder->askFileExists(
        state_.pagePath(), [this, run, then, saveAsThenGoOn](FolderAnswer taken) {
            if (taken == FolderAnswer::No) return then(true);
            if (taken == FolderAnswer::Yes) {
                return platform_.messageBoxes->ask(
                    {messageTitle(), nameTakenText(), MessageIcon::Exclamation, MessageButtons::Ok},
                    [saveAsThenGoOn](MessageAnswer) { saveAsThenGoOn(); });
            }
            askUnansweredFolderBeforeScan(run, then);
        });
}

// Only Abbrechen keeps the scan from going on: another place left without a
// choice brings the question back rather than scanning into the silent folder.
void ScanCommands::askUnansweredFolderBeforeScan(CommandRun run,
                                                 std::function<void(bool goOn)> then) {
    platform_.messageBoxes->ask(
        {messageTitle(), unansweredFolderBeforeScanText(state_.folder()), MessageIcon::Exclamation,
         MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry},
        [this, run, then](MessageAnswer answer) {
            if (answer == MessageAnswer::Retry) return offerSaveAsForATakenName(run, then);
            if (answer != MessageAnswer::Elsewhere) return then(false);
            files_.saveAs(run, [this, run, then](bool chosen) {
                if (chosen) return then(true);
                askUnansweredFolderBeforeScan(run, then);
            });
        });
}

void ScanCommands::scanAndStore(CommandRun run, Done then) {
    state_.setFolder(withTrailingSeparator(state_.folder()));
    offerSaveAsForATakenName(run, [this, run, then](bool goOn) {
        if (!goOn) return then();
        TwainScan(run, [this, run, then](bool newPage) {
            Done end = [this, then] {
                if (std::exchange(sourceLostAfterPage_, false)) {
                    state_.setScannerChoice(ScannerChoice::None);
                }
                then();
            };
            if (!newPage) return end();
            files_.TwainCopy(run, end);
        });
    });
}

void ScanCommands::bScannen_Click(CommandRun run) {
    scanAndStore(run, [run] {});
}

}  // namespace ornavex
