#pragma once

#include <QFile>
#include <map>
#include <vector>

#include "folder/document_folder.h"
#include "tests/fakes/held_answers.h"

namespace ornavex {

struct RecordedWrite {
    QString format;  // "jpeg" or "bmp"
    QString path;
    QImage picture;
    int quality = 0;
    ReplacePolicy policy = ReplacePolicy::KeepExisting;
    bool operator==(const RecordedWrite&) const = default;
    friend void PrintTo(const RecordedWrite& write, std::ostream* out) {
        *out << write.format.toStdString() << ' ' << write.quality << ' ' << int(write.policy)
             << ' ' << write.picture.width() << 'x' << write.picture.height() << ' '
             << write.path.toStdString();
    }
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
        if (const std::optional<PageWriteResult> failure = takeNext(failNext)) return *failure;
        if (request.policy == ReplacePolicy::KeepExisting && QFile::exists(request.path))
            return {PageWriteStatus::AlreadyExists, 0};
        QFile file(request.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {PageWriteStatus::WriteFailed, 2};
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

    LoadedPage load(const QString& path) const {
        if (failures.contains(path)) return {failures.at(path), {}};
        if (pictures.contains(path)) return {PictureLoadStatus::Loaded, Page(pictures.at(path))};
        return {QFile::exists(path) ? PictureLoadStatus::NotAPicture : PictureLoadStatus::Missing,
                {}};
    }
};

}  // namespace ornavex
