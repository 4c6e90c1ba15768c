#pragma once

#include <QTemporaryDir>

#include "app/application.h"
#include "files/document_files.h"
#include "scan/scan_commands.h"
#include "settings/ini_files.h"
#include "shell/root.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

// Failures show the texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace ornavex {

// The whole window logic on scripted fakes, with a document folder and a
// settings file in a temporary folder. The scan and file commands run on the
// program's state as the window starts them.
class AppFixture : public ::testing::Test {
  protected:
    AppFixture() {
        QDir().mkpath(documents);
        state.setFolder(documents);
        QObject::connect(&state, &State::focusRequested,
                         [this](FocusTarget target) { focusRequests.push_back(target); });
    }

    // Every command a test starts has ended, and given the pointer back.
    void TearDown() override {
        EXPECT_FALSE(state.commandRunning());
        EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
    }

    static QImage page(int width = 30, int height = 40, QRgb colour = qRgb(200, 30, 30)) {
        QImage image(width, height, QImage::Format_RGB888);
        image.fill(colour);
        return image;
    }

    // Starts a command as the window does; false when another one runs.
    bool start(const std::function<void(CommandRun)>& command) {
        const std::optional<CommandRun> run = state.startCommand();
        if (run) command(*run);
        return run.has_value();
    }
    // Lets the event loop run until the running command has ended; false when it did not.
    bool finished(int timeoutMs = 30000) {
        return test::waitUntil([this] { return !state.commandRunning(); }, timeoutMs);
    }
    bool store() {
        return start([this](CommandRun run) { files.TwainCopy(run, [] {}); });
    }
    bool saveAs() { return start(std::bind_front(&DocumentFiles::BVerwaltung_Click, &files)); }
    bool open() { return start(std::bind_front(&DocumentFiles::TwainLoad, &files)); }
    bool scan() { return start(std::bind_front(&ScanCommands::bScannen_Click, &scanning)); }

    QStringList messageTexts() const {
        QStringList texts;
        for (const MessageBoxRequest& box : fakes.messages->shown()) texts << box.text;
        return texts;
    }
    // Where the pages were written, inside the temporary folder.
    QStringList written() const {
        QStringList paths;
        for (const RecordedWrite& write : fakes.pageWriter.writes) {
            paths << QDir(temp.path()).relativeFilePath(write.path);
        }
        return paths;
    }
    RecordedWrite jpeg(const QString& path, ReplacePolicy policy = ReplacePolicy::KeepExisting) {
        return {"jpeg", path, page(), 100, policy};
    }

    static QString successText(const QString& name) {
        return "Die Bilddatei ''" + name +
               "'' wurde erfolgreich gespeichert.   \n"
               "Klicken Sie die Vorschau doppelt an, um sie zu vergrößern.    ";
    }

    static QString unansweredFolderText(const QString& folder) {
        return "Der Ordner \u201E" + folder +
               "\u201C antwortet nicht, zum Beispiel ein nicht erreichbares Netzlaufwerk.";
    }

    QTemporaryDir temp;
    QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    QString documents = temp.path() + QStringLiteral("/Dokumente/");
    FakePlatform fakes;
    Application app{fakes.services, settings};
    Root& root = app.root();
    State& state = app.state();
    DocumentFiles files{state, fakes.services, settings};
    ScanCommands scanning{state, fakes.services, files};
    std::vector<FocusTarget> focusRequests;
};

inline const QString kNameTaken = "Der eingegebene Dateiname ist bereits vorhanden.   ";
inline const QString kInsertPage = "Bitte legen Sie nun das Dokument in den Scanner ein.    ";

}  // namespace ornavex
