#pragma once

#include <QFile>
#include <QImage>
#include <QString>
#include <deque>
#include <map>
#include <vector>

#include "page/picture_store.h"

namespace ornavex {

struct RecordedWrite {
    QString format;  // "jpeg" or "bmp"
    QString path;
    QImage picture;
    int quality = 0;
    ReplacePolicy policy = ReplacePolicy::KeepExisting;
};

// Writes a small marker file so that existence checks see the stored page,
// honours the replace policy, and fails on demand.
class FakePageWriter {
  public:
    std::vector<RecordedWrite> writes;
    // The next writes fail so, one each.
    std::deque<PageWriteResult> failNext;

    PageWriteResult write(RecordedWrite request) {
        writes.push_back(request);
        if (!failNext.empty()) {
            const PageWriteResult next = failNext.front();
            failNext.pop_front();
            return next;
        }
        if (request.policy == ReplacePolicy::KeepExisting && QFile::exists(request.path)) {
            return {PageWriteStatus::AlreadyExists, 0};
        }
        QFile file(request.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return {PageWriteStatus::WriteFailed, 2};
        }
        file.write(request.format.toUtf8());
        return {};
    }
};

class FakePictureStore {
  public:
    // Pictures that load() finds, and scripted failures; every other path is
    // missing, or no picture when a file is there.
    std::map<QString, QImage> pictures;
    std::map<QString, PictureLoadStatus> failures;

    LoadedPicture load(const QString& path) {
        if (const auto failed = failures.find(path); failed != failures.end()) {
            return {failed->second, {}};
        }
        if (const auto found = pictures.find(path); found != pictures.end()) {
            return {PictureLoadStatus::Loaded, found->second};
        }
        const bool there = QFile::exists(path);
        return {there ? PictureLoadStatus::NotAPicture : PictureLoadStatus::Missing, {}};
    }
};

}  // namespace ornavex
