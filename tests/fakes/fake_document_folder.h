#pragma once

#include "folder/path_existence.h"
#include "tests/fakes/fake_picture_files.h"

namespace ornavex {

// The document folder on the real file system of a test, whose calls can be
// scripted not to answer, or held back: a call takes effect at once, only its
// answer may be held. Pages go to the shared page writer.
class FakeDocumentFolder : public DocumentFolder {
  public:
    FakeDocumentFolder(FakePageWriter& writer, FakePictureStore& pictures)
        : writer_(writer), pictures_(pictures) {}

    // The next existence questions get no answer, one each.
    int unansweredQuestions = 0;
    // The next checks whether a folder answers get no answer, one each.
    int unansweredFolderChecks = 0;
    HeldAnswers held;

    void askFileExists(const QString& path, AnswerHandler then) override {
        held.deliver(std::bind_front(then, existence(FileExists(path))));
    }
    void askPathExists(const QString& path, AnswerHandler then) override {
        held.deliver(std::bind_front(then, existence(PathExists(path))));
    }
    // A missing folder answers too.
    void askFolderAnswers(const QString&, std::chrono::milliseconds, AnswerHandler then) override {
        held.deliver(std::bind_front(
            then, takeOne(unansweredFolderChecks) ? FolderAnswer::NoAnswer : FolderAnswer::Yes));
    }
    void askWritePage(const Page& page, const QString& path, PageFormat format, int jpegQuality,
                      ReplacePolicy policy, WriteHandler then) override {
        const bool bitmap = format == PageFormat::Bitmap;
        held.deliver(
            std::bind_front(then, writer_.write({bitmap ? "bmp" : "jpeg", path, page.picture(),
                                                 bitmap ? 0 : jpegQuality, policy})));
    }
    void askLoad(const QString& path, LoadHandler then) override {
        held.deliver(std::bind_front(then, pictures_.load(path)));
    }

  private:
    FolderAnswer existence(bool found) {
        if (takeOne(unansweredQuestions)) return FolderAnswer::NoAnswer;
        return found ? FolderAnswer::Yes : FolderAnswer::No;
    }
    static bool takeOne(int& count) {
        if (count <= 0) return false;
        --count;
        return true;
    }

    FakePageWriter& writer_;
    FakePictureStore& pictures_;
};

}  // namespace ornavex
