#pragma once

#include <QStringList>
#include <optional>

#include "folder/document_folder.h"
#include "folder/path_existence.h"
#include "tests/fakes/fake_picture_files.h"
#include "tests/fakes/held_answers.h"

namespace ornavex {

// The document folder on the real file system of a test, whose calls can be
// scripted not to answer, or held back; pages go to the shared page writer.
class FakeDocumentFolder : public DocumentFolder {
  public:
    FakeDocumentFolder(FakePageWriter& writer, FakePictureStore& pictures)
        : writer_(writer), pictures_(pictures) {}

    // The next existence questions get no answer, one each.
    int unansweredQuestions = 0;
    // The next checks whether a folder answers get no answer, one each.
    int unansweredFolderChecks = 0;
    // The folders asked whether they answer, in order.
    QStringList folderChecks;
    HeldAnswers held;

    void askFileExists(const QString& path, AnswerHandler then) override {
        answer(then, existence(FileExists(path)));
    }
    void askPathExists(const QString& path, AnswerHandler then) override {
        answer(then, existence(PathExists(path)));
    }
    void askFolderAnswers(const QString& folder, std::chrono::milliseconds,
                          AnswerHandler then) override {
        folderChecks << folder;
        if (unansweredFolderChecks > 0) {
            --unansweredFolderChecks;
            return answer(then, FolderAnswer::NoAnswer);
        }
        answer(then, FolderAnswer::Yes);  // a missing folder answers too
    }
    void askWritePage(const Page& page, const QString& path, PageFormat format, int jpegQuality,
                      ReplacePolicy policy, WriteHandler then) override {
        answer(then, written(page, path, format, jpegQuality, policy));
    }
    void askLoad(const QString& path, LoadHandler then) override { answer(then, loaded(path)); }

  private:
    FolderAnswer existence(bool found) {
        if (silent()) return FolderAnswer::NoAnswer;
        return found ? FolderAnswer::Yes : FolderAnswer::No;
    }
    PageWriteResult written(const Page& page, const QString& path, PageFormat format,
                            int jpegQuality, ReplacePolicy policy) {
        if (page.isNull()) return {PageWriteStatus::NoPicture, 0};
        const bool bitmap = format == PageFormat::Bitmap;
        return writer_.write({bitmap ? QStringLiteral("bmp") : QStringLiteral("jpeg"), path,
                              page.picture(), bitmap ? 0 : jpegQuality, policy});
    }
    LoadedPage loaded(const QString& path) {
        const LoadedPicture picture = pictures_.load(path);
        return {picture.status, picture.loaded() ? Page(picture.picture) : Page()};
    }
    // The call takes effect now; only its answer may be held back.
    template <typename Handler, typename Answer>
    void answer(const Handler& then, Answer result) {
        held.deliver([then, result] { then(result); });
    }
    bool silent() {
        if (unansweredQuestions <= 0) return false;
        --unansweredQuestions;
        return true;
    }

    FakePageWriter& writer_;
    FakePictureStore& pictures_;
};

}  // namespace ornavex
