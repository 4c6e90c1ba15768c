// What the start-up's settings steps cost on a settings file of 50 MB: two
// reads, the folder written back unchanged, then one changed value (a rewrite).
// Prints the growth of the peak resident memory and the time of each step.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "settings/ini_files.h"

namespace {

constexpr qint64 kFileBytes = 50 * 1024 * 1024;

long statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

// Lets the peak start again from what is resident now.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

template <typename Step>
void measure(const char* name, Step step) {
    resetPeak();
    const long before = statusKilobytes("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    step();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-44s peak +%6.1f MB  %7.3f s\n", name,
                (statusKilobytes("VmHWM:") - before) / 1024.0, seconds);
}

// Written piece by piece, so making the file does not raise the peak itself.
bool writeSettings(const QString& path, const QByteArray& folder) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray filler = "; " + QByteArray(96, 'x') + "\n";
    QByteArray piece = "[Andere]\n";
    while (file.size() + piece.size() < kFileBytes) {
        piece += filler;
        if (piece.size() > 1024 * 1024) {
            file.write(piece);
            piece.clear();
        }
    }
    file.write(piece + "[Default]\nOrdner=" + folder + "\nLastFile=" + folder + "seite.jpg\n");
    return file.error() == QFileDevice::NoError;
}

}  // namespace

int main() {
    QTemporaryDir temp;
    const QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    const QByteArray folder = "/home/benutzer/Dokumente/Archiv/";
    if (!writeSettings(settings, folder)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(settings));
        return 1;
    }
    std::printf("settings file: %.1f MB, [Default] at its end\n",
                QFile(settings).size() / (1024.0 * 1024.0));
    measure("read Ordner and LastFile", [&] {
        ornavex::ReadWholeIniValue(settings, "Default", "Ordner");
        ornavex::ReadWholeIniValue(settings, "Default", "LastFile");
    });
    measure("write Ordner back unchanged", [&] {
        ornavex::StoreIniValue(settings, "Default", "Ordner", QString::fromUtf8(folder));
    });
    measure("write a changed Ordner (file rewritten)", [&] {
        ornavex::StoreIniValue(settings, "Default", "Ordner", QStringLiteral("/neu/"));
    });
    std::printf("resident after all steps: %.1f MB\n", statusKilobytes("VmRSS:") / 1024.0);
    return 0;
}
