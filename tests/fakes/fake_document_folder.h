#pragma once

#include <QDir>
#include <QFileInfo>
#include <deque>
#include <functional>
#include <optional>
#include <utility>

#include "platform/document_folder.h"
#include "tests/fakes/fake_picture_files.h"

namespace ornavex {

// The document folder on the real file system of a test, whose calls can be
// scripted not to answer; pages go to the shared page writer.
class FakeDocumentFolder : public DocumentFolder {
  public:
    FakeDocumentFolder(FakePageWriter& writer, FakePictureStore& pictures)
        : writer_(writer), pictures_(pictures) {}

    // The next existence questions get no answer, one each; a callback runs
    // while the first of them "waits".
    int unansweredQuestions = 0;
    std::function<void()> whileWaiting;
    int questions = 0;

    FolderAnswer fileExists(const QString& path) override {
        if (const auto silent = unanswered()) return *silent;
        const QFileInfo file(path);
        if (path.endsWith(u'/') || file.fileName().isEmpty()) return FolderAnswer::No;
        const QStringList matches =
            file.dir().entryList({file.fileName()}, QDir::AllEntries | QDir::Hidden | QDir::System |
                                                        QDir::NoDotAndDotDot);
        return matches.isEmpty() ? FolderAnswer::No : FolderAnswer::Yes;
    }
    FolderAnswer pathExists(const QString& path) override {
        if (const auto silent = unanswered()) return *silent;
        return QFileInfo::exists(path) ? FolderAnswer::Yes : FolderAnswer::No;
    }
    PageWriteResult writePage(const Page& page, const QString& path, PageFormat format,
                              int jpegQuality, ReplacePolicy policy) override {
        if (page.isNull()) return {PageWriteStatus::NoPicture, 0};
        const bool bitmap = format == PageFormat::Bitmap;
        return writer_.write({bitmap ? QStringLiteral("bmp") : QStringLiteral("jpeg"), path,
                              page.picture(), bitmap ? 0 : jpegQuality, policy});
    }
    LoadedPage load(const QString& path) override {
        const LoadedPicture loaded = pictures_.load(path);
        return {loaded.status, loaded.loaded() ? Page(loaded.picture) : Page()};
    }

  private:
    std::optional<FolderAnswer> unanswered() {
        ++questions;
        if (unansweredQuestions <= 0) return std::nullopt;
        --unansweredQuestions;
        if (whileWaiting) std::exchange(whileWaiting, nullptr)();
        return FolderAnswer::NoAnswer;
    }

    FakePageWriter& writer_;
    FakePictureStore& pictures_;
};

}  // namespace ornavex
