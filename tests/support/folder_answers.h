#pragma once

// A call on the real document folder, waited for as a test does: its answer
// recorded, the event loop turning until it is there, within a bound.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "folder/document_folder.h"
#include "tests/support/wait.h"

namespace ornavex::test {

inline constexpr int kFolderAnswerMs = 20000;

// The answer an ask hands its handler, which must not run before the event loop does.
template <typename Result, typename Ask>
Result answerOf(const Ask& ask, Result ifNone) {
    auto answers = std::make_shared<std::vector<Result>>();
    ask([answers](Result result) { answers->push_back(std::move(result)); });
    EXPECT_TRUE(answers->empty()) << "answered before the event loop ran";
    EXPECT_TRUE(waitUntil([&] { return !answers->empty(); }, kFolderAnswerMs));
    return answers->empty() ? ifNone : answers->front();
}

inline FolderAnswer fileExists(DocumentFolder& folder, const QString& path) {
    return answerOf([&](auto then) { folder.askFileExists(path, then); }, FolderAnswer::NoAnswer);
}

inline FolderAnswer pathExists(DocumentFolder& folder, const QString& path) {
    return answerOf([&](auto then) { folder.askPathExists(path, then); }, FolderAnswer::NoAnswer);
}

inline LoadedPage load(DocumentFolder& folder, const QString& path) {
    return answerOf([&](auto then) { folder.askLoad(path, then); },
                    LoadedPage{PictureLoadStatus::NoAnswer, {}});
}

inline PageWriteResult writePage(DocumentFolder& folder, const Page& page, const QString& path,
                                 PageFormat format, int jpegQuality, ReplacePolicy policy) {
    return answerOf(
        [&](auto then) { folder.askWritePage(page, path, format, jpegQuality, policy, then); },
        PageWriteResult{PageWriteStatus::NoAnswer, -1});
}

}  // namespace ornavex::test
