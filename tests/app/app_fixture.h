#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/application.h"
#include "shell/ini_files.h"
#include "shell/root.h"
#include "shell/state.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/files.h"

namespace ornavex {

// The whole window logic on scripted fakes, with a document folder and a
// settings file in a temporary folder.
class AppFixture : public ::testing::Test {
  protected:
    AppFixture() {
        documents = temp.path() + QStringLiteral("/Dokumente/");
        QDir().mkpath(documents);
        state.setFolder(documents);
    }

    static QImage page(int width = 30, int height = 40, QRgb colour = qRgb(200, 30, 30)) {
        QImage image(width, height, QImage::Format_RGB888);
        image.fill(colour);
        return image;
    }

    QString tips() { return ReadIniValue(settings, "Default", "Tips"); }

    std::vector<QString> messageTexts() const {
        std::vector<QString> texts;
        for (const MessageBoxRequest& box : fakes.messages->shown()) texts.push_back(box.text);
        return texts;
    }

    static QString successText(const QString& name) {
        return QStringLiteral("Die Bilddatei ''") + name +
               QStringLiteral(
                   "'' wurde erfolgreich gespeichert.   \n"
                   "Klicken Sie die Vorschau doppelt an, um sie zu vergrößern.    ");
    }

    QTemporaryDir temp;
    QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    QString documents;
    FakePlatform fakes;
    Application app{fakes.services, settings};
    Root& root = app.root();
    State& state = app.state();
};

inline const QString kNameTaken =
    QStringLiteral("Der eingegebene Dateiname ist bereits vorhanden.   ");
inline const QString kInsertPage =
    QStringLiteral("Bitte legen Sie nun das Dokument in den Scanner ein.    ");

}  // namespace ornavex
