#include "shell/user_texts.h"

#include <QCoreApplication>
#include <cerrno>

#include "platform/message_boxes.h"

namespace ornavex {
namespace {

QString text(const char* german) {
    return QCoreApplication::translate("Ornavex", german);
}

}  // namespace

// Each text is spelled inside a QT_TRANSLATE_NOOP so lupdate finds it with its context.

QString messageTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex", " Ornavex"));
}

QString helpTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex", " Hilfethemen"));
}

QString previewHintText() {
    return text(QT_TRANSLATE_NOOP(
        "Ornavex", "Klicken Sie die Vorschau doppelt an, um sie zu vergrößern.    "));
}

QString chooseDocumentFolderText() {
    return text(
        QT_TRANSLATE_NOOP("Ornavex",
                          "Wählen Sie bitte den Ordner für die gescannten Dokumente aus.   \n"
                          "Dieser Ordner enthält nach dem Scannen alle neuen Bilder."));
}

QString browseFolderTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Bitte wählen Sie den Ordner zum Speichern der Dokumente ..."));
}

QString settingsNotWritableText(const QString& settingsPath) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Die Einstellungen können nicht gespeichert werden.   \n"
                                  "Die Datei \"%1\" lässt sich nicht schreiben; der "
                                  "Dokumentordner und die anderen Einstellungen gelten nur bis "
                                  "zum Beenden."))
        .arg(settingsPath);
}

QString controlUnavailableText() {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Andere Programme können Ornavex nicht steuern.   \n"
                                  "Die Verbindung für sie lässt sich nicht einrichten; ein "
                                  "weiterer Start öffnet deshalb ein zweites Fenster."));
}

QString unansweredInstanceText() {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Ein anderes Ornavex-Fenster antwortet nicht.   \n"
                                  "Dieses Fenster arbeitet deshalb für sich; andere Programme "
                                  "steuern weiterhin das andere Fenster."));
}

QString nameTakenText() {
    return text(
        QT_TRANSLATE_NOOP("Ornavex", "Der eingegebene Dateiname ist bereits vorhanden.   "));
}

QString pageStoredText(const QString& fileName) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Die Bilddatei ''%1'' wurde erfolgreich "
                                  "gespeichert.   \n%2"))
        .arg(fileName, previewHintText());
}

QString unansweredPictureText(const QString& fileName) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Die Bilddatei ''%1'' konnte nicht gelesen werden.   \n"
                                  "Ihr Speicherort antwortet nicht, zum Beispiel ein nicht "
                                  "erreichbares Netzlaufwerk. Die Vorschau bleibt ohne dieses "
                                  "Bild."))
        .arg(fileName);
}

QString oversizedPictureText(const QString& fileName) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Die Bilddatei ''%1'' ist zu groß, um sie zu öffnen.   \n"
                                  "Geöffnet werden Bilder bis zur Größe der größten Seite, die "
                                  "ein Scanner liefert (Legal-Format bei 1200 dpi)."))
        .arg(fileName);
}

QString lostPictureReadText(const QString& fileName) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Das Bild „%1“ konnte nicht gelesen werden.   \n"
                                  "Das Lesen wurde unerwartet abgebrochen. Die Vorschau bleibt "
                                  "ohne dieses Bild."))
        .arg(fileName);
}

QString openDocumentTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex", " Dokument öffnen"));
}

QString openDocumentFilter() {
    return text(QT_TRANSLATE_NOOP(
        "Ornavex", "Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"));
}

QString saveDocumentTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex", " Dokument speichern"));
}

QString saveDocumentFilter() {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Jpeg Bilddateien|*.jpg|Windows Bitmap|*.bmp|Alle Dateien|*.*"));
}

QString saveNowTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex", " Testprojekt Speichern"));
}

QString saveNowQuestion() {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Möchten Sie das Dokument jetzt unter dem eingegebenen "
                                  "Dateinamen speichern ?    \n"
                                  "Achten Sie darauf, dass das Dokument in der Ansicht mit der "
                                  "Frage gemeint ist."));
}

namespace {

QString unansweredFolderReason(const QString& folder) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Der Ordner „%1“ antwortet nicht, zum Beispiel ein nicht "
                                  "erreichbares Netzlaufwerk."))
        .arg(folder);
}

}  // namespace

QString writeFailureReason(const PageWriteResult& result, const QString& folder) {
    if (result.status == PageWriteStatus::NoAnswer) return unansweredFolderReason(folder);
    if (result.status == PageWriteStatus::AlreadyExists) {
        return text(QT_TRANSLATE_NOOP("Ornavex",
                                      "Unter diesem Namen ist inzwischen eine Datei vorhanden; "
                                      "sie wurde nicht überschrieben."));
    }
    if (result.status == PageWriteStatus::NoPicture) {
        return text(QT_TRANSLATE_NOOP("Ornavex", "Die Vorschau enthält kein Bild."));
    }
    switch (result.systemError) {
        case ENOSPC:
        case EDQUOT:
            return text(QT_TRANSLATE_NOOP(
                "Ornavex", "Auf dem Datenträger ist nicht genügend Speicherplatz frei."));
        case EACCES:
        case EPERM:
            return text(QT_TRANSLATE_NOOP(
                "Ornavex", "Sie haben keine Berechtigung, in diesen Ordner zu schreiben."));
        case EROFS:
            return text(QT_TRANSLATE_NOOP("Ornavex", "Der Datenträger ist schreibgeschützt."));
        case ENOENT:
        case ENOTDIR:
            return text(QT_TRANSLATE_NOOP("Ornavex", "Der Ordner ist nicht vorhanden."));
        case ENAMETOOLONG:
            return text(QT_TRANSLATE_NOOP("Ornavex", "Der Dateiname ist zu lang."));
        case EISDIR:
            return text(
                QT_TRANSLATE_NOOP("Ornavex", "Unter diesem Namen ist ein Ordner vorhanden."));
        case EIO:
            return text(QT_TRANSLATE_NOOP(
                "Ornavex", "Beim Schreiben ist ein Ein-/Ausgabefehler aufgetreten."));
        case ENOMEM:
            return text(
                QT_TRANSLATE_NOOP("Ornavex", "Es ist nicht genügend Arbeitsspeicher frei."));
        case EFBIG:
            return text(
                QT_TRANSLATE_NOOP("Ornavex", "Das Bild ist für dieses Dateiformat zu groß."));
        default:
            break;
    }
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Die Datei konnte nicht geschrieben werden (Fehlercode %1)."))
        .arg(result.systemError);
}

// Short lines: the box wraps long ones and leaves single words on a line.
QString failedWriteText(const QString& fileName, const QString& folder,
                        const PageWriteResult& result) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Die Bilddatei ''%1'' konnte nicht gespeichert werden.   \n"
                                  "%2\n"
                                  "Versuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
                                  "Mit „Abbrechen“ bleibt die Seite ungespeichert."))
        .arg(fileName, writeFailureReason(result, folder));
}

QString unansweredFolderBeforeScanText(const QString& folder) {
    return unansweredFolderReason(folder) + u'\n' +
           text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Versuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
                                  "Mit „Abbrechen“ wird nicht gescannt."));
}

QString unansweredFolderText(const QString& folder) {
    return unansweredFolderReason(folder);
}

// The dialog cannot tell which folder on the way hangs it.
QString unansweredDialogText(const QString& wentTo) {
    return text(QT_TRANSLATE_NOOP("Ornavex",
                                  "Der Dateidialog antwortet nicht mehr: Ein Ordner auf dem Weg "
                                  "zu „%1“ antwortet nicht, zum Beispiel ein nicht erreichbares "
                                  "Netzlaufwerk."))
        .arg(wentTo);
}

QString waitingForFolderText(const QString& folder) {
    return text(QT_TRANSLATE_NOOP("Ornavex", "Warte auf den Ordner „%1“ …")).arg(folder);
}

QString chooseScannerHint() {
    return text(QT_TRANSLATE_NOOP(
        "Ornavex", "Bitte wählen Sie den entsprechenden Scanner aus der Auswahlliste.    "));
}

QString chooseScannerTitle() {
    return text(QT_TRANSLATE_NOOP("Ornavex", " Scanner/Treiber auswählen"));
}

QString noScannerChosenText() {
    return text(
        QT_TRANSLATE_NOOP("Ornavex",
                          "Warscheinlich ist das Gerät nicht verfügbar, nicht eingeschaltet\n"
                          "oder es wurden keine richtigen Treiber für den Scanner installiert.\n"
                          "Installationen können in der Systemsteuerung durchführt werden.   \n"
                          "\n"
                          "Die Auswahl des Scanners oder Kamera wurde abgebrochen."));
}

QString insertDocumentText() {
    return text(
        QT_TRANSLATE_NOOP("Ornavex", "Bitte legen Sie nun das Dokument in den Scanner ein.    "));
}

QString cancelCaption() {
    return cancelButtonCaption();  // the message boxes' own, so every cancel reads alike
}

QString okCaption() {
    return text(QT_TRANSLATE_NOOP("Ornavex", "OK"));
}

}  // namespace ornavex
